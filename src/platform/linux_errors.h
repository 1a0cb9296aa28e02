// Windows' last error on Linux: errno values become Windows codes, and each code keeps the text
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
// A failure of the layer's own that it can explain better than the code's usual text.
void fail_with_text(DWORD code, std::string text);

// The text for a code: the latest failure's own text when that failure had this code, else the
// errno or own text that describes the code. Empty when there is none.
std::string text_for(DWORD code);

}  // namespace linux_layer
