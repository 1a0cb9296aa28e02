// The system's own words for an error code, as outcome and catalogue lines quote them.
#pragma once

#include "winapi.h"

// Prints the system's text for error without the line break it usually ends in, so that the
// caller ends the line once; "error N" where the system has no text.
void print_system_text(DWORD error);
