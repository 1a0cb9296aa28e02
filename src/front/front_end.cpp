#include "front/front_end.h"

#include <cstdio>

#include "device/failure_detail.h"
#include "device/platform_detection.h"
#include "slotpush.h"
#include "transfer/volume_transfer.h"
#include "winapi.h"

int32_t selected_drive = NO_DRIVE;
int32_t use_vwin32 = 0;

void print_usage() {
    std::printf("\nslotpush Version 1.0\n\n");
    std::printf("Usage:    slotpush <DSK file> <volume#>\n");
    std::printf("Example:  slotpush c:\\ti_dsk\\dm5.dsk 5\n");
}

int32_t check_volume_number(const char* text, uint32_t& volume_out) {
    uint64_t value = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        const bool digit = *c >= '0' && *c <= '9';
        if (digit) value = value * 10 + static_cast<uint64_t>(*c - '0');
        if (!digit || value > UINT32_MAX) {
            std::printf("The value '%s' is an invalid volume number.\n", text);
            return -1;
        }
    }
    volume_out = static_cast<uint32_t>(value);
    return 0;
}

namespace {

// The system's text for the last error, which usually ends in its own line break, after what
// the failing step was about when it said so.
void print_failure() {
    const DWORD error = GetLastError();
    const char* detail = failure_detail();
    const char* separator = *detail != '\0' ? ": " : "";
    if (*detail != '\0' && error == NO_ERROR) {
        std::printf("slotpull failed: %s.\n", detail);  // nothing failed but the card's answer
        return;
    }
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text),
        0, nullptr);
    if (length == 0 || text == nullptr) {
        std::printf("slotpull failed: %s%serror %lu\n", detail, separator,
                    static_cast<unsigned long>(error));
        return;
    }
    std::printf("slotpull failed: %s%s%s\n", detail, separator, text);
    LocalFree(text);
}

void report_outcome(int32_t result) {
    if (result == RESULT_SUCCESS) {
        std::printf("slotpull succeeded.\n");
    } else if (result != RESULT_NOT_AN_IMAGE && result != RESULT_IMAGE_TOO_LARGE) {
        print_failure();  // refused images have already said why
    }
}

}  // namespace

int slotpush_main(int argc, char** argv) {
    if (argc <= 2) {
        print_usage();
        return 1;
    }
    clear_failure_detail();
    load_drive_choice(argv[0]);
    if (selected_drive == NO_DRIVE) choose_drive();
    if (selected_drive < 0 || selected_drive > HIGHEST_USABLE_DRIVE) return -1;

    uint32_t volume_number = 0;
    if (check_volume_number(argv[2], volume_number) != 0) return -1;
    const int32_t result = copy_volume(argv[1], FLASH_KEYWORD, volume_number);
    report_outcome(result);
    return result;
}
