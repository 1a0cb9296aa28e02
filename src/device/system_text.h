// The system's own words for an error code, as failure and listing lines quote them.
#pragma once

#include "text.h"
#include "winapi.h"

// Adds the system's text for error without the line break it usually ends in, so that the line
// ends once; "error N" where the system has no text.
Text& add_system_text(Text& text, DWORD error);

// The same, where the card's own system can say more of a disk in use (which of its partitions
// are mounted where): "The disk is in use: /dev/sdb1 is mounted on /media/card."'s first part.
Text& add_card_reason(Text& text, DWORD error, const char* card_path);
