// Which Windows family runs the tool, and through it the interactive choice of the drive.
#pragma once

#include <cstdint>

// Classification codes of detect_platform.
inline constexpr int32_t PLATFORM_UNKNOWN = 0;  // no version data, or NT without a product type
inline constexpr int32_t PLATFORM_NT = 1;       // NT with its product type read
inline constexpr int32_t PLATFORM_9X = 2;       // Win32s, 95, 98 or Me

// Prints the Windows version banner and returns the classification code.
int32_t detect_platform();

// Whether the 9x family runs the tool, asked without printing anything.
bool is_9x_family();
