#include "device/card_choice.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "device/drive_discovery.h"
#include "device/handle_io.h"
#include "device/physical_access.h"
#include "device/platform_detection.h"
#include "device/volume_disks.h"
#include "device/vwin32_access.h"

namespace {

constexpr size_t MOST_DRIVE_DIGITS = 4;

// Copies text, cut to fit, into a name of the card.
void copy_name(char (&name)[CARD_NAME_BYTES], const char* text) {
    const size_t length = std::min(std::strlen(text), CARD_NAME_BYTES - 1);
    std::memcpy(name, text, length);
    name[length] = '\0';
}

void set_names(Card& card, const char* path, const char* shown) {
    copy_name(card.path, path);
    copy_name(card.shown, shown);
}

// "E:" or "e:": its index (A = 0); -1 for anything else.
int32_t letter_named(const char* text) {
    const int letter = std::toupper(static_cast<unsigned char>(text[0]));
    if (letter < 'A' || letter > 'Z' || text[1] != ':' || text[2] != '\0') return -1;
    return letter - 'A';
}

// "\\.\PHYSICALDRIVE<n>" in any case: n; -1 for anything else.
int32_t physical_drive_named(const char* text) {
    const size_t prefix = sizeof PHYSICAL_DRIVE_PREFIX - 1;
    for (size_t i = 0; i < prefix; ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) != PHYSICAL_DRIVE_PREFIX[i]) {
            return -1;
        }
    }
    int32_t drive = 0;
    size_t count = 0;
    for (const char* c = text + prefix; *c != '\0'; ++c, ++count) {
        if (*c < '0' || *c > '9' || count == MOST_DRIVE_DIGITS) return -1;
        drive = drive * 10 + (*c - '0');
    }
    return count > 0 ? drive : -1;
}

// On the NT family a letter names the one physical drive its volume lies on.
Result drive_of_letter(int32_t index, const char* text, int32_t& drive) {
    const DriveSet drives = drives_of_letter(static_cast<char>('A' + index));
    if (drives == 0 || (drives & (drives - 1)) != 0) {
        return Failure(STATUS_REFUSED, Text("no single physical drive holds ")
                                           .add(text)
                                           .add("; name the drive as \\\\.\\PHYSICALDRIVEn."));
    }
    for (drive = 0; !holds(drives, drive); ++drive) {
    }
    return std::nullopt;
}

// A path opens for reading and is a disk or a file, not a console, pipe or folder; what names
// it is kept, and whether it is a file (which tells no disk's length).
Result check_named_path(const char* text, Card& named) {
    ScopedHandle card(CreateFileA(text, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!card) return last_error_failure(STATUS_REFUSED, text);
    if (GetFileType(card.get()) != FILE_TYPE_DISK) {
        return Failure(STATUS_REFUSED, Text(text).add(" is neither a disk nor a file."));
    }
    named.file = identity_of(card.get());
    named.is_file = !disk_length(card.get());
    return std::nullopt;
}

}  // namespace

Card physical_drive_card(int32_t drive) {
    Card card;
    card.access = &PHYSICAL_DRIVE_ACCESS;
    card.drive = drive;
    // Where the system names the drive its own way, the drive is found once, here, and then
    // opened by that name.
    const DevicePath windows = physical_drive_path(drive);
    char opened[CARD_NAME_BYTES] = {};
    const char* path =
        native_device_path(windows.text, opened, sizeof opened) ? opened : windows.text;
    char native[CARD_NAME_BYTES] = {};
    const bool named = native_drive_names(path, native, sizeof native, nullptr, 0);
    set_names(card, path, named ? native : windows.text);
    return card;
}

Card letter_card(int32_t drive_index) {
    Card card;
    card.access = &LETTER_ACCESS;
    card.drive = drive_index;
    const char letter[] = {static_cast<char>('A' + drive_index), ':', '\0'};
    set_names(card, letter, letter);
    return card;
}

Result name_card(const char* text, Card& card) {
    if (std::strlen(text) >= CARD_NAME_BYTES) {
        return Failure::system(STATUS_REFUSED, ERROR_FILENAME_EXCED_RANGE, text);
    }
    if (const int32_t drive = physical_drive_named(text); drive >= 0) {
        card = physical_drive_card(drive);
        return std::nullopt;
    }
    if (const int32_t index = letter_named(text); index >= 0) {
        if (is_9x_family()) {
            card = letter_card(index);
            return std::nullopt;
        }
        int32_t drive = 0;
        if (Result found = drive_of_letter(index, text, drive)) return found;
        card = physical_drive_card(drive);
        return std::nullopt;
    }
    if (Result checked = check_named_path(text, card)) return checked;
    card.access = &NAMED_PATH_ACCESS;
    set_names(card, text, text);
    return std::nullopt;
}

std::optional<Card> choose_card() {
    if (detect_platform() == PLATFORM_9X) {
        const int32_t letter = list_drives_vwin32();
        if (letter == NO_DRIVE) return std::nullopt;
        return letter_card(letter);
    }
    const int32_t drive = list_drives_physical();
    if (drive == NO_DRIVE) return std::nullopt;
    return physical_drive_card(drive);
}
