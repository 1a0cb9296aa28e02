// Windows' last error on Linux: errno values become Windows codes, and each code has the text
// that explains it best, so that the tool's outcome line names the real cause.
#pragma once

#include <string>

#include "winapi.h"

namespace linux_layer {

DWORD& last_error();

// The failure an errno value describes.
void fail_with_errno(int error);
// A failure of the layer's own, explained by the code's usual text.
void fail_with_code(DWORD code);

// The text for a code: the layer's own text for it, else that of the errno that describes it.
// Empty when there is none.
std::string text_for(DWORD code);

}  // namespace linux_layer
