#include <cstdio>
#include <cstring>

#include "device/handle_io.h"
#include "front/front_end.h"
#include "slotpush.h"
#include "winapi.h"

Owned<char> drive_choice_file_name(const char* program_path) {
    static const char SUFFIX[] = "CFG";
    const size_t length = std::strlen(program_path);
    const size_t kept = length > 3 ? length - 3 : 0;
    Owned<char> name = obtain<char>(kept + sizeof SUFFIX);
    if (!name) return name;
    std::memcpy(name.get(), program_path, kept);
    std::memcpy(name.get() + kept, SUFFIX, sizeof SUFFIX);
    return name;
}

// The file holds the drive number as a little-endian signed 32-bit value in its first four
// bytes. Where the system wants it, it is created empty when missing; one shorter than four
// bytes stores no drive. Its place follows the program path the system gives for argument 0.
bool load_drive_choice(const char* typed_path, int32_t& stored_drive) {
    stored_drive = NO_DRIVE;
    const char* path = program_path(typed_path);
    if (path == nullptr) return true;
    const Owned<char> name = drive_choice_file_name(path);
    if (!name) return true;
    ScopedHandle file(CreateFileA(
        name.get(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        creates_drive_choice_file() ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return true;
    uint64_t length = 0;
    if (seek_to_end(file.get(), length) != NO_ERROR || length < 4) return true;
    uint8_t stored[4];
    if (read_at(file.get(), 0, stored) != NO_ERROR) return true;
    const uint32_t value =
        stored[0] | stored[1] << 8 | stored[2] << 16 | static_cast<uint32_t>(stored[3]) << 24;
    const auto drive = static_cast<int32_t>(value);
    if (drive != NO_DRIVE && (drive < 0 || drive >= PHYSICAL_DRIVES)) {
        std::printf("%s holds drive %ld; drives 0 to %d can be used.\n", name.get(),
                    static_cast<long>(drive), static_cast<int>(PHYSICAL_DRIVES - 1));
        return false;
    }
    stored_drive = drive;
    return true;
}
