#include "device/physical_access.h"

#include <charconv>
#include <cstring>

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

// Writes one run, flushes it and reads it back into back to compare.
Outcome write_run(HANDLE writer, const CardWrite& run, std::span<uint8_t> back) {
    if (const DWORD error = write_at(writer, run.byte_offset, run.bytes)) {
        return volume_failed(RESULT_WRITE_FAILED, error, run.byte_offset);
    }
    if (!FlushFileBuffers(writer)) {
        return volume_failed(RESULT_WRITE_FAILED, GetLastError(), run.byte_offset);
    }
    if (const DWORD error = read_at(writer, run.byte_offset, back)) {
        return volume_failed(RESULT_WRITE_FAILED, error, run.byte_offset);
    }
    return check_slot(run.bytes, back, run.byte_offset);
}

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

// One handle writes the runs and reads each back: opened past the system's cache, what it reads
// comes from the card, and it writes from whole pages as such a handle needs. Each run is one
// call, flushed to the card, and read back while the claim still holds. after_write runs on the
// written disk whatever the writes and their checks gave.
Outcome write_and_check(const Card& card, const WriteSource& runs,
                        void (*after_write)(HANDLE disk)) {
    ScopedHandle writer(CreateFileA(card.path, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_NO_BUFFERING, nullptr));
    if (!writer) return card_failed(RESULT_DRIVE_NOT_OPENED, GetLastError());
    Pages read_back;
    size_t read_back_bytes = 0;
    Outcome outcome;
    for (size_t i = 0; i < runs.count && !outcome.failed(); ++i) {
        CardWrite run;
        outcome = runs.prepare(runs.context, i, run);
        if (!outcome.failed() && run.bytes.size() > read_back_bytes) {
            read_back = obtain_pages(read_back_bytes = run.bytes.size());
            if (!read_back) outcome = failed_with_last_error(RESULT_WRITE_FAILED);
        }
        if (!outcome.failed()) {
            outcome = write_run(writer.get(), run, {read_back.get(), run.bytes.size()});
        }
        if (!outcome.failed() && runs.written != nullptr) runs.written(runs.context, i);
    }
    after_write(writer.get());
    return outcome;
}

// The drive's volumes are locked and dismounted first, and stay so until the claim ends after
// the check; a volume that cannot be locked stops the write before any byte moves.
Outcome write_physical_runs(const Card& card, const WriteSource& runs) {
    VolumeClaim volumes;
    if (const Outcome claimed = volumes.claim(card.drive); claimed.failed()) return claimed;
    return write_and_check(card, runs, refresh_disk_layout);
}

Outcome write_named_runs(const Card& card, const WriteSource& runs) {
    return write_and_check(card, runs, [](HANDLE) {});
}

}  // namespace

const CardAccess PHYSICAL_DRIVE_ACCESS = {open_reader, read_run, physical_drive_size, is_pc_disk,
                                          write_physical_runs};
const CardAccess NAMED_PATH_ACCESS = {open_reader, read_run, named_path_size, is_pc_disk,
                                      write_named_runs};
