// The system's own words for an error code, as outcome and catalogue lines quote them.
#pragma once

#include "winapi.h"

// Prints the system's text for error: as the system gives it (usually ending in its own line
// break) when whole, else without its line break; "error N" where the system has no text.
void print_system_text(DWORD error, bool whole);
