// What a failing step was about, when the system's reason alone would not say: the outcome line
// then reads "slotpull failed: <detail>: <reason>".
#pragma once

void set_failure_detail(const char* detail);
void clear_failure_detail();
// The detail, or an empty text.
const char* failure_detail();
