#include "device/failure_detail.h"

#include <cstring>

namespace {
char detail_text[160] = "";
}

void set_failure_detail(const char* detail) {
    std::strncpy(detail_text, detail, sizeof detail_text - 1);
}

void clear_failure_detail() {
    detail_text[0] = '\0';
}

const char* failure_detail() {
    return detail_text;
}
