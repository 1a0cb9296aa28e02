#include "device/physical_access.h"

#include <charconv>
#include <cstring>

#include "device/card_claim.h"
#include "device/card_failure.h"
#include "device/handle_io.h"
#include "device/slot_check.h"
#include "device/volume_claim.h"
#include "owned_buffer.h"
#include "slotpush.h"
#include "winapi.h"

DevicePath physical_drive_path(int32_t drive) {
    constexpr size_t PREFIX_BYTES = sizeof PHYSICAL_DRIVE_PREFIX - 1;
    DevicePath path = {};
    std::memcpy(path.text, PHYSICAL_DRIVE_PREFIX, PREFIX_BYTES);
    std::to_chars(path.text + PREFIX_BYTES, path.text + sizeof path.text - 1, drive);
    return path;
}

namespace {

HANDLE open_reader(const Card& card) {
    return CreateFileA(card.path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

// Each read positions and moves all bytes in one call; a position the platform refuses stops
// the transfer, so no byte ever moves anywhere else.
DWORD read_run(const Card&, HANDLE reader, std::span<uint8_t> buffer, uint64_t byte_offset) {
    return read_at(reader, byte_offset, buffer);
}

// Older Windows answer where a physical drive ends, which a file that stands in for one tells;
// an end at 0 says nothing.
std::optional<uint64_t> physical_drive_size(HANDLE drive) {
    if (const auto length = disk_length(drive); length && *length > 0) return length;
    uint64_t end = 0;
    if (seek_to_end(drive, end) != NO_ERROR || end == 0) return std::nullopt;
    return end;
}

// A named disk's length, or a file's end, empty or not: both say where the card ends.
std::optional<uint64_t> named_path_size(HANDLE card) {
    if (const auto length = disk_length(card)) return length;
    uint64_t end = 0;
    if (seek_to_end(card, end) != NO_ERROR) return std::nullopt;
    return end;
}

// A PC's disk is one the system calls fixed whose first sectors hold a partition table or boot
// record (0x55 0xAA ending the first sector, or a GPT header in the second). Cards come
// removable, or, on a CF-to-IDE adapter, fixed but without either; a TI card holds the filler
// in every odd byte, so never 0xAA at 511. A disk that cannot say is not refused here: the
// write's own steps report what fails.
bool is_pc_disk(HANDLE disk) {
    static const char GPT_SIGNATURE[] = "EFI PART";
    constexpr size_t BOOT_SIGNATURE_AT = 510;
    DISK_GEOMETRY geometry{};
    DWORD returned = 0;
    if (!DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                         sizeof geometry, &returned, nullptr) ||
        geometry.MediaType == RemovableMedia) {
        return false;
    }
    uint8_t first[2 * DEVICE_SECTOR_BYTES];
    if (read_at(disk, 0, first) != NO_ERROR) return false;
    bool gpt = true;  // compared byte by byte: the Windows programs import no memcmp
    for (size_t i = 0; i + 1 < sizeof GPT_SIGNATURE; ++i) {
        gpt = gpt && first[DEVICE_SECTOR_BYTES + i] == static_cast<uint8_t>(GPT_SIGNATURE[i]);
    }
    return gpt || (first[BOOT_SIGNATURE_AT] == 0x55 && first[BOOT_SIGNATURE_AT + 1] == 0xAA);
}

// One handle reads what a change needs, writes its runs and reads each back: opened past the
// system's cache, what it reads comes from the card, and it writes from whole pages as such a
// handle needs. A card file is opened so that no one else may open it for writing; a disk
// keeps the share of the system's other users, and is claimed as the system claims it for its
// first write, at once.
Result open_writer(CardClaim& claim) {
    const Card& card = claim.card;
    const DWORD share = card.is_file ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE;
    claim.handle.reset(CreateFileA(card.path, GENERIC_READ | GENERIC_WRITE, share, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr));
    if (!claim.handle) {
        // A card file another writer holds: its share mode is the claim, refused as a disk's is.
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION) {
            return card_failure(card, RESULT_WRITE_FAILED, error, STEP_CLAIM);
        }
        return card_failure(card, RESULT_DRIVE_NOT_OPENED, error, STEP_OPEN);
    }
    if (!claim_for_writing(claim.handle.get())) {
        return card_failure(card, RESULT_WRITE_FAILED, GetLastError(), STEP_CLAIM);
    }
    return std::nullopt;
}

// The drive's volumes are locked and dismounted first, and stay so until the claim ends after
// the last check; a volume that cannot be locked stops the change before anything is read.
Result claim_physical_drive(CardClaim& claim) {
    claim.volumes.emplace();
    if (Result claimed = claim.volumes->claim(claim.card.drive, claim.card.shown)) return claimed;
    return open_writer(claim);
}

DWORD read_claimed(CardClaim& claim, std::span<uint8_t> buffer, uint64_t byte_offset) {
    return read_at(claim.handle.get(), byte_offset, buffer);
}

// Reads the run back into the claim's pages, grown to it, and compares.
Result check_run(CardClaim& claim, const CardWrite& run) {
    DWORD error = NO_ERROR;
    if (run.bytes.size() > claim.back_bytes) {
        claim.back = obtain_pages(claim.back_bytes = run.bytes.size());
        if (!claim.back) error = GetLastError();
    }
    const std::span<uint8_t> back{claim.back.get(), run.bytes.size()};
    if (error == NO_ERROR) error = read_at(claim.handle.get(), run.byte_offset, back);
    if (error != NO_ERROR) {
        return volume_failure(claim.card, RESULT_WRITE_FAILED, error, run.byte_offset,
                              STEP_READ_BACK);
    }
    return check_slot(claim.card, run.bytes, back, run.byte_offset);
}

// The most runs a step holds before they are flushed and read back: a change's step has far
// fewer (a file's 76 runs of data, 127 records and sector 0).
constexpr size_t MOST_STEP_RUNS = 256;

// Each run is one call; the runs of a step are flushed to the card together, then read back
// while the claim still holds, before the next step is made.
Result write_claimed(CardClaim& claim, const WriteSource& runs) {
    const Card& card = claim.card;
    CardWrite step[MOST_STEP_RUNS];
    size_t in_step = 0;
    for (size_t i = 0; i < runs.count; ++i) {
        CardWrite& run = step[in_step++];
        if (Result prepared = runs.prepare(i, run)) return prepared;
        if (const DWORD error = write_at(claim.handle.get(), run.byte_offset, run.bytes)) {
            return volume_failure(card, RESULT_WRITE_FAILED, error, run.byte_offset, STEP_WRITE);
        }
        if (!run.ends_step && i + 1 < runs.count && in_step < MOST_STEP_RUNS) continue;
        if (!FlushFileBuffers(claim.handle.get())) {
            return volume_failure(card, RESULT_WRITE_FAILED, GetLastError(), run.byte_offset,
                                  STEP_FLUSH);
        }
        for (size_t k = 0; k < in_step; ++k) {
            if (Result checked = check_run(claim, step[k])) return checked;
        }
        for (size_t k = 0; k < in_step; ++k) runs.written(i + 1 - in_step + k);
        in_step = 0;
    }
    return std::nullopt;
}

// Windows is asked to read the drive's layout anew, after its sectors were written.
void release_physical_drive(CardClaim& claim) {
    if (claim.handle) refresh_disk_layout(claim.handle.get());
}

void release_named_path(CardClaim&) {}

}  // namespace

const CardAccess PHYSICAL_DRIVE_ACCESS = {
    open_reader,          read_run,     physical_drive_size, is_pc_disk,
    claim_physical_drive, read_claimed, write_claimed,       release_physical_drive};
const CardAccess NAMED_PATH_ACCESS = {open_reader,   read_run,          named_path_size,
                                      is_pc_disk,    open_writer,       read_claimed,
                                      write_claimed, release_named_path};
