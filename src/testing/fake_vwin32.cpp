#include "testing/fake_parts.h"

namespace fake {

namespace {

// The driver's answer: carry clear, or carry set with a DOS error code in EAX.
void answer(DIOC_REGISTERS& registers, DWORD dos_error) {
    registers.reg_Flags =
        dos_error == 0 ? registers.reg_Flags & ~DWORD_PTR{1} : registers.reg_Flags | 1;
    if (dos_error != 0) registers.reg_EAX = dos_error;
}

constexpr DWORD DOS_INVALID_FUNCTION = 0x01;
constexpr DWORD DOS_ACCESS_DENIED = 0x05;
constexpr DWORD DOS_INVALID_DRIVE = 0x0F;
constexpr DWORD DOS_SECTOR_NOT_FOUND = 0x1B;
constexpr DWORD DOS_WRITE_FAULT = 0x1D;
constexpr DWORD DOS_READ_FAULT = 0x1E;

Volume* volume_of(DWORD_PTR drive_number) {
    const auto found = machine().volumes.find(static_cast<char>('A' + drive_number - 1));
    return drive_number >= 1 && found != machine().volumes.end() ? &found->second : nullptr;
}

void generic_ioctl(DIOC_REGISTERS& r) {
    Volume* volume = volume_of(r.reg_EBX & 0xFF);
    const DWORD_PTR category = (r.reg_ECX >> 8) & 0xFF;
    const DWORD_PTR minor = r.reg_ECX & 0xFF;
    const int attempt = category == 0x48 ? 0 : category == 0x08 ? 1 : -1;
    if (r.reg_EAX != 0x440D || attempt < 0) return answer(r, DOS_INVALID_FUNCTION);
    if (volume == nullptr) return answer(r, DOS_INVALID_DRIVE);
    if (minor == 0x60 && category == 0x08) {
        auto* parameters = reinterpret_cast<uint8_t*>(r.reg_EDX);
        parameters[1] = volume->device_type;
        parameters[15] = static_cast<uint8_t>(volume->total_sectors & 0xFF);
        parameters[16] = static_cast<uint8_t>(volume->total_sectors >> 8);
        return answer(r, 0);
    }
    if (minor == 0x4A) return answer(r, volume->grants_lock[attempt] ? 0 : DOS_ACCESS_DENIED);
    if (minor == 0x6A) return answer(r, volume->grants_unlock[attempt] ? 0 : DOS_ACCESS_DENIED);
    answer(r, DOS_INVALID_FUNCTION);
}

void absolute_disk_io(DIOC_REGISTERS& r) {
    if (r.reg_EAX != 0x7305 || r.reg_ECX != 0xFFFFFFFF) return answer(r, DOS_INVALID_FUNCTION);
    Volume* volume = volume_of(r.reg_EDX);
    if (volume == nullptr) return answer(r, DOS_INVALID_DRIVE);
    const auto* io = reinterpret_cast<const DISKIO*>(r.reg_EBX);
    const bool write = (r.reg_ESI & 1) != 0;
    if (write ? !volume->writes : !volume->reads) {
        return answer(r, write ? DOS_WRITE_FAULT : DOS_READ_FAULT);
    }
    const uint64_t offset = uint64_t{io->diStartSector} * 512;
    const size_t bytes = size_t{io->diSectors} * 512;
    if (offset + bytes > volume->sectors.size) return answer(r, DOS_SECTOR_NOT_FOUND);
    auto* buffer = reinterpret_cast<uint8_t*>(io->diBuffer);
    if (write) {
        volume->sectors.accept_write(offset, buffer, bytes);
    } else {
        volume->sectors.read(offset, buffer, bytes);
    }
    answer(r, 0);
}

}  // namespace

void vwin32_service(DWORD control_code, DIOC_REGISTERS& registers) {
    if (control_code == VWIN32_DIOC_DOS_IOCTL) return generic_ioctl(registers);
    if (control_code == VWIN32_DIOC_DOS_DRIVEINFO) return absolute_disk_io(registers);
    answer(registers, DOS_INVALID_FUNCTION);
}

}  // namespace fake
