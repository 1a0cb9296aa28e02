// Which Windows family runs the tool, and through it the interactive choice of the drive.
#pragma once

#include <cstdint>

// Classification codes of detect_platform.
inline constexpr int32_t PLATFORM_UNKNOWN = 0;  // no version data, or NT without a product type
inline constexpr int32_t PLATFORM_NT = 1;       // NT with its product type read
inline constexpr int32_t PLATFORM_9X = 2;       // Win32s, 95, 98 or Me

// Prints the Windows version banner and returns the classification code.
int32_t detect_platform();

// Runs only when no drive is stored: prints the banner, sets use_vwin32 from the platform and
// runs that family's listing, which sets selected_drive from the user's answer (or leaves -1).
void choose_drive();
