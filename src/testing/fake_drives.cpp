#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "testing/fake_parts.h"

namespace fake {

namespace {
constexpr char PHYSICAL_DRIVE[] = "\\\\.\\PHYSICALDRIVE";
}

int physical_drive_number(const char* name) {
    if (!has_prefix(name, PHYSICAL_DRIVE)) return -1;
    const char* digits = name + std::strlen(PHYSICAL_DRIVE);
    const size_t count = std::strspn(digits, "0123456789");
    if (count == 0 || count > 4 || digits[count] != '\0') return -1;
    return std::atoi(digits);
}

HANDLE open_drive(int number, DWORD access, DWORD attributes, const char* name) {
    Machine& m = machine();
    const auto drive = m.drives.find(number);
    if (drive == m.drives.end() || !drive->second.opens) {
        return fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    }
    if ((access & GENERIC_WRITE) != 0 && !drive->second.opens_for_write) {
        return fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    }
    return m.add_handle({name, Machine::Open::Kind::drive, number, 0, access, 0, attributes});
}

BOOL drive_geometry(int drive, LPVOID out, DWORD out_bytes, LPDWORD returned) {
    const auto geometry = machine().geometries.find(drive);
    if (geometry == machine().geometries.end()) return fail(ERROR_NOT_READY, FALSE);
    if (out_bytes < sizeof(DISK_GEOMETRY)) return fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    std::memcpy(out, &geometry->second, sizeof(DISK_GEOMETRY));
    if (returned != nullptr) *returned = sizeof(DISK_GEOMETRY);
    return TRUE;
}

BOOL describe_drive(int drive, LPVOID out, DWORD out_bytes, LPDWORD returned) {
    if (!asks_like_windows_2000()) return fail(ERROR_INVALID_FUNCTION, FALSE);
    const Drive& d = machine().drives[drive];
    STORAGE_DEVICE_DESCRIPTOR record{};
    std::string texts;
    for (const auto& [text, offset] : {std::pair{&d.vendor, &record.VendorIdOffset},
                                       std::pair{&d.product, &record.ProductIdOffset}}) {
        if (!text->has_value()) continue;
        *offset = static_cast<DWORD>(sizeof record + texts.size());
        texts += **text + '\0';
    }
    record.Size = static_cast<DWORD>(sizeof record + texts.size());
    if (out_bytes < record.Size) return fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    std::memcpy(out, &record, sizeof record);
    std::memcpy(static_cast<char*>(out) + sizeof record, texts.data(), texts.size());
    if (returned != nullptr) *returned = record.Size;
    return TRUE;
}

void Drive::write(uint64_t offset, const uint8_t* bytes, size_t count) {
    if (count == 0) return;
    const uint64_t last = offset + count - 1;
    written_ = written_
                   ? std::pair{std::min(written_->first, offset), std::max(written_->second, last)}
                   : std::pair{offset, last};
    for (size_t done = 0; done < count;) {
        const uint64_t at = offset + done;
        std::vector<uint8_t>& page = pages_[at / PAGE_BYTES];
        if (page.empty()) page.assign(PAGE_BYTES, fill);
        const size_t in_page = at % PAGE_BYTES;
        const size_t piece = std::min<size_t>(count - done, PAGE_BYTES - in_page);
        std::memcpy(page.data() + in_page, bytes + done, piece);
        done += piece;
    }
}

void Drive::accept_write(uint64_t offset, const uint8_t* bytes, size_t count) {
    if (!keeps_writes) return;
    write(offset, bytes, count);
    if (alters_byte_at && *alters_byte_at >= offset && *alters_byte_at < offset + count) {
        const uint8_t kept = bytes[*alters_byte_at - offset] ^ 0x10;
        write(*alters_byte_at, &kept, 1);
    }
}

void Drive::read(uint64_t offset, uint8_t* bytes, size_t count) const {
    for (size_t done = 0; done < count;) {
        const uint64_t at = offset + done;
        const size_t in_page = at % PAGE_BYTES;
        const size_t piece = std::min<size_t>(count - done, PAGE_BYTES - in_page);
        const auto page = pages_.find(at / PAGE_BYTES);
        if (page == pages_.end()) {
            std::memset(bytes + done, fill, piece);
        } else {
            std::memcpy(bytes + done, page->second.data() + in_page, piece);
        }
        done += piece;
    }
}

std::vector<uint8_t> Drive::bytes(uint64_t offset, size_t count) const {
    std::vector<uint8_t> out(count);
    read(offset, out.data(), count);
    return out;
}

std::optional<std::pair<uint64_t, uint64_t>> Drive::written_range() const {
    return written_;
}

}  // namespace fake
