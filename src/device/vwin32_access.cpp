#include "device/vwin32_access.h"

#include <optional>

#include "device/card_claim.h"
#include "device/card_failure.h"
#include "device/handle_io.h"
#include "device/slot_check.h"
#include "device/vwin32_driver.h"
#include "owned_buffer.h"
#include "slotpush.h"

namespace {

constexpr DWORD_PTR ABSOLUTE_DISK_IO = 0x7305;  // interrupt 21h function 7305h
constexpr DWORD_PTR DISKIO_FORM = 0xFFFFFFFF;   // in ECX: the request is a DISKIO record
constexpr DWORD_PTR READ_SECTORS = 0x0000;
constexpr DWORD_PTR WRITE_DIRECTORY_DATA = 0x4001;  // bit 0 write, bits 13-15 kind 2
constexpr DWORD_PTR LOCK_VOLUME = 0x4A;
constexpr DWORD_PTR UNLOCK_VOLUME = 0x6A;
constexpr DWORD_PTR CATEGORIES[] = {0x48, 0x08};  // FAT32-aware first, then the older one

// The service's request for a run of sectors; a reason when the run does not fit its fields: a
// 32-bit start sector and a 16-bit sector count, never cut or split.
DWORD describe_run(DISKIO& io, const void* buffer, uint64_t byte_offset, size_t byte_count) {
    const uint64_t start = byte_offset / DEVICE_SECTOR_BYTES;
    const uint64_t count = byte_count / DEVICE_SECTOR_BYTES;
    if (start > UINT32_MAX) return ERROR_SECTOR_NOT_FOUND;
    if (count > UINT16_MAX) return ERROR_INVALID_PARAMETER;
    io.diStartSector = static_cast<DWORD>(start);
    io.diSectors = static_cast<WORD>(count);
    io.diBuffer = reinterpret_cast<DWORD_PTR>(buffer);
    return NO_ERROR;
}

DWORD sector_request(HANDLE vwin32, int32_t drive_index, DISKIO& io, DWORD_PTR mode) {
    DIOC_REGISTERS registers{};
    registers.reg_EAX = ABSOLUTE_DISK_IO;
    registers.reg_EBX = reinterpret_cast<DWORD_PTR>(&io);
    registers.reg_ECX = DISKIO_FORM;
    registers.reg_EDX = static_cast<DWORD>(drive_index + 1);
    registers.reg_ESI = mode;
    return vwin32_request(vwin32, VWIN32_DIOC_DOS_DRIVEINFO, registers);
}

// At most two requests, category 0x48 and then 0x08; the retry keeps what the first returned
// in the members it does not set. NO_ERROR when one is granted, else the last one's reason.
DWORD volume_lock_request(HANDLE vwin32, DWORD_PTR ebx, DWORD_PTR minor,
                          std::optional<DWORD_PTR> edx) {
    DIOC_REGISTERS registers{};
    DWORD error = NO_ERROR;
    for (const DWORD_PTR category : CATEGORIES) {
        registers.reg_EAX = DOS_GENERIC_IOCTL;
        registers.reg_EBX = ebx;
        registers.reg_ECX = category << 8 | minor;
        if (edx) registers.reg_EDX = *edx;
        error = vwin32_request(vwin32, VWIN32_DIOC_DOS_IOCTL, registers);
        if (error == NO_ERROR) break;
    }
    return error;
}

// Locks or unlocks the drive's logical volume (level 0, no permissions asked): NO_ERROR when
// granted, else why not.
DWORD lock_logical_volume(HANDLE vwin32, uint8_t drive_number) {
    return volume_lock_request(vwin32, drive_number, LOCK_VOLUME, 0);
}
DWORD unlock_logical_volume(HANDLE vwin32, uint8_t drive_number) {
    return volume_lock_request(vwin32, drive_number, UNLOCK_VOLUME, std::nullopt);
}

HANDLE open_vwin32_reader() {
    return CreateFileA(VWIN32_ACCESS_NAME, 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

DWORD read_sectors_through(HANDLE vwin32, int32_t drive_index, std::span<uint8_t> buffer,
                           uint64_t byte_offset) {
    DISKIO io{};
    if (const DWORD error = describe_run(io, buffer.data(), byte_offset, buffer.size())) {
        return error;
    }
    return sector_request(vwin32, drive_index, io, READ_SECTORS);
}

// Reads the written run back while the volume is still locked, and compares.
Result verify_vwin32(const CardClaim& claim, std::span<const uint8_t> written,
                     uint64_t byte_offset) {
    const Pages pages = obtain_pages(written.size());
    DWORD error = pages ? NO_ERROR : GetLastError();
    DISKIO io{};
    describe_run(io, pages.get(), byte_offset, written.size());  // it fitted for the write
    if (error == NO_ERROR) {
        error = sector_request(claim.handle.get(), claim.card.drive, io, READ_SECTORS);
    }
    if (error != NO_ERROR) {
        return volume_failure(claim.card, RESULT_WRITE_FAILED, error, byte_offset, STEP_READ_BACK);
    }
    return check_slot(claim.card, written, {pages.get(), written.size()}, byte_offset);
}

}  // namespace

DWORD vwin32_request(HANDLE vwin32, DWORD control_code, DIOC_REGISTERS& registers) {
    DWORD returned = 0;
    if (!DeviceIoControl(vwin32, control_code, &registers, sizeof registers, &registers,
                         sizeof registers, &returned, nullptr)) {
        return GetLastError();
    }
    if ((registers.reg_Flags & CARRY_FLAG) == 0) return NO_ERROR;
    const auto dos_error = static_cast<DWORD>(registers.reg_EAX & 0xFFFF);
    return dos_error != 0 ? dos_error : ERROR_GEN_FAILURE;
}

namespace {

// The claim of a drive letter's volume: the driver opened and the logical volume locked. A lock
// that is refused stops the change before any byte moves, as the NT family's claim does:
// another program is using the volume.
Result claim_letter(CardClaim& claim) {
    const Card& card = claim.card;
    claim.handle.reset(CreateFileA(VWIN32_ACCESS_NAME, GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                   nullptr));
    if (!claim.handle) {
        return card_failure(card, RESULT_DRIVE_NOT_OPENED, GetLastError(), STEP_OPEN);
    }
    const auto drive_number = static_cast<uint8_t>(card.drive + 1);
    if (const DWORD refused = lock_logical_volume(claim.handle.get(), drive_number)) {
        return locked_volume_failure(static_cast<char>('A' + card.drive), card.shown, refused);
    }
    claim.locked = true;
    return std::nullopt;
}

DWORD read_letter_claimed(CardClaim& claim, std::span<uint8_t> buffer, uint64_t byte_offset) {
    return read_sectors_through(claim.handle.get(), claim.card.drive, buffer, byte_offset);
}

// Each run is one request, read back while the volume is still locked, before the next run is
// described; a run the service cannot describe is not sent.
Result write_letter_runs(CardClaim& claim, const WriteSource& runs) {
    for (size_t i = 0; i < runs.count; ++i) {
        CardWrite run;
        if (Result prepared = runs.prepare(i, run)) return prepared;
        DISKIO io{};
        DWORD error = describe_run(io, run.bytes.data(), run.byte_offset, run.bytes.size());
        if (error == NO_ERROR) {
            error = sector_request(claim.handle.get(), claim.card.drive, io, WRITE_DIRECTORY_DATA);
        }
        if (error != NO_ERROR) {
            return volume_failure(claim.card, RESULT_WRITE_FAILED, error, run.byte_offset,
                                  STEP_WRITE);
        }
        if (Result checked = verify_vwin32(claim, run.bytes, run.byte_offset)) return checked;
        runs.written(i);
    }
    return std::nullopt;
}

// Once locked, the unlock goes out whatever the change gave.
void release_letter(CardClaim& claim) {
    if (claim.locked) {
        unlock_logical_volume(claim.handle.get(), static_cast<uint8_t>(claim.card.drive + 1));
    }
    claim.locked = false;
}

DWORD read_letter_run(const Card& card, HANDLE vwin32, std::span<uint8_t> buffer,
                      uint64_t byte_offset) {
    return read_sectors_through(vwin32, card.drive, buffer, byte_offset);
}

}  // namespace

// The 9x family does not tell a volume's size (no size query): a read past its end fails where
// the volume ends.
const CardAccess LETTER_ACCESS = {[](const Card&) { return open_vwin32_reader(); },
                                  read_letter_run,
                                  nullptr,
                                  nullptr,
                                  claim_letter,
                                  read_letter_claimed,
                                  write_letter_runs,
                                  release_letter};

// A run the service cannot take is refused before the driver is opened, so that it sends
// nothing.
Result write_sectors_vwin32(const Card& card, std::span<const uint8_t> buffer,
                            uint64_t byte_offset) {
    DISKIO io{};
    if (const DWORD error = describe_run(io, buffer.data(), byte_offset, buffer.size())) {
        return volume_failure(card, RESULT_WRITE_FAILED, error, byte_offset, STEP_WRITE);
    }
    CardClaim claim(card);
    if (Result claimed = claim.take()) return claimed;
    const CardWrite run{buffer, byte_offset};
    const auto prepare = [&](size_t, CardWrite& next) -> Result {
        next = run;
        return std::nullopt;
    };
    return claim.write({1, prepare, no_run_written});
}
