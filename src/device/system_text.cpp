#include "device/system_text.h"

#include <cstdio>
#include <cstring>

void print_system_text(DWORD error) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text),
        0, nullptr);
    if (length == 0 || text == nullptr) {
        std::printf("error %lu", static_cast<unsigned long>(error));
        return;
    }
    size_t shown = std::strlen(text);
    while (shown > 0 && (text[shown - 1] == '\n' || text[shown - 1] == '\r')) --shown;
    std::printf("%.*s", static_cast<int>(shown), text);
    LocalFree(text);
}
