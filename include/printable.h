// Text that a device or a disk gives, as the console shows it: printable ASCII as it is, any
// other byte (a control byte, one above 126) as '?', so that none goes raw to the console.
#pragma once

#include <cstdint>

inline bool is_printable(uint8_t byte) {
    return byte >= 0x20 && byte < 0x7F;
}

inline char printable(uint8_t byte) {
    return is_printable(byte) ? static_cast<char>(byte) : '?';
}
