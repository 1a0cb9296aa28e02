#include "device/system_text.h"

#include <cstring>

namespace {

// The mounts of a disk in use, as the system names them.
constexpr size_t MOUNTS_TEXT_BYTES = 512;

}  // namespace

Text& add_system_text(Text& text, DWORD error) {
    char* message = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPSTR>(&message), 0, nullptr);
    if (length == 0 || message == nullptr) return text.add("error ").number(error);
    size_t shown = std::strlen(message);
    while (shown > 0 && (message[shown - 1] == '\n' || message[shown - 1] == '\r')) --shown;
    message[shown] = '\0';
    text.add(message);
    LocalFree(message);
    return text;
}

Text& add_card_reason(Text& text, DWORD error, const char* card_path) {
    char mounts[MOUNTS_TEXT_BYTES] = {};
    if (error == ERROR_BUSY && native_disk_mounts(card_path, mounts, sizeof mounts) &&
        mounts[0] != '\0') {
        return text.add("The disk is in use: ").add(mounts).add(".");
    }
    return add_system_text(text, error);
}
