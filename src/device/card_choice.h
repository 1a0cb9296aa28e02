// Choosing the card a run works on: one the user names, a physical drive, a drive letter's
// volume, or the one the user picks from the listing of the platform's family.
#pragma once

#include <cstdint>
#include <optional>

#include "device/card.h"
#include "device/failure.h"

// \\.\PHYSICALDRIVE<drive>, shown by the system's own name where it has one ("/dev/sdb").
Card physical_drive_card(int32_t drive);

// The volume of a drive letter, reached through VWIN32 (9x family), shown as "E:".
Card letter_card(int32_t drive_index);

// The card the user names: "\\.\PHYSICALDRIVEn"; a letter "E:" (the 9x family's volume, or on
// the NT family the one physical drive that holds it); or any other path, a file or a disk that
// the system names its own way. A path that does not open, or that is neither a disk nor a
// file, is refused: a failure that names it.
Result name_card(const char* text, Card& card);

// Prints the Windows version banner and runs the listing of the platform's family, which returns
// the card the user picks (none when no drive is chosen).
std::optional<Card> choose_card();
