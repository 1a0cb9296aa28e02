#include "device/failure.h"

#include "device/system_text.h"

Failure Failure::system(int32_t status, DWORD error, const char* what) {
    Text words;
    if (what != nullptr) words.add(what).add(": ");
    add_system_text(words, error);
    return Failure(status, words, error);
}

Failure Failure::line(int32_t status, const Text& words) {
    Failure failure(status, words);
    failure.own_line_ = true;
    return failure;
}

Failure Failure::said(int32_t status) {
    return line(status, Text());
}

Failure& Failure::within(const Text& context) {
    if (!own_line_) words_.put_in_front(Text(context).add(": "));
    return *this;
}

Failure& Failure::then(const Text& line) {
    if (words_.empty()) {
        own_line_ = true;
    } else {
        words_.add("\n");
    }
    words_.add(line);
    return *this;
}
