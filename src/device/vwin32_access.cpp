#include "device/vwin32_access.h"

#include "slotpush.h"
#include "winapi.h"

// Not yet reachable through the driver: fail rather than pretend.
int32_t read_sectors_vwin32(int32_t, std::span<uint8_t>, uint64_t) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
}

int32_t write_sectors_vwin32(int32_t, std::span<const uint8_t>, uint64_t) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return RESULT_NO_DRIVER;
}
