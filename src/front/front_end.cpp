#include "front/front_end.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "device/platform_detection.h"
#include "device/system_text.h"
#include "slotpush.h"
#include "transfer/catalogue.h"
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

// A number's decimal digits, for printf's %s: the C runtime of the oldest Windows has no
// 64-bit conversion of its own.
struct Decimal {
    explicit Decimal(uint64_t number) {
        *std::to_chars(text, text + sizeof text - 1, number).ptr = '\0';
    }
    char text[24] = {};
};

// The outcome line of the run, or the refusal of its image.
void report_outcome(const Outcome& outcome) {
    using About = Outcome::About;
    if (!outcome.failed()) {
        std::printf("slotpull succeeded.\n");
        return;
    }
    switch (outcome.about) {
        case About::not_an_image:
            std::printf("Not a supported TI/99-4A format\n");
            return;
        case About::image_too_large:
            std::printf("The image file holds %s bytes; a disk image holds at most %s bytes.\n",
                        Decimal(outcome.byte).text, Decimal(IMAGE_BYTES).text);
            return;
        case About::slot_differs:
            std::printf(
                "slotpull failed: volume %s on the card does not hold what was written; "
                "the first difference is at byte %s of its slot.\n",
                Decimal(outcome.volume).text, Decimal(outcome.byte).text);
            return;
        case About::past_card_end:
            std::printf("Volume %s is past the card's end", Decimal(outcome.volume).text);
            if (outcome.byte != 0) {
                std::printf("; its last whole volume is %s", Decimal(outcome.byte).text);
            }
            std::printf(".\n");
            return;
        case About::listed:
            return;  // the catalogue's lines have said why
        case About::card_volume:
            std::printf("slotpull failed: Volume %c: on the card could not be locked: ",
                        outcome.letter);
            break;
        case About::system:
            std::printf("slotpull failed: ");
            break;
    }
    print_system_text(outcome.error, true);  // which usually ends in its own line break
    std::printf("\n");
}

// "7", "1-40" or "1-" (to the card's end): true, with the first and last volume (last 0: to
// the end). Anything but digits, a volume 0, a reversed range or one past 32 bits is refused.
bool parse_volume_range(const char* text, uint32_t& first, uint32_t& last) {
    const char* end = text + std::strlen(text);
    const auto [after_first, first_error] = std::from_chars(text, end, first);
    if (first_error != std::errc() || first == 0) return false;
    last = first;
    if (after_first == end) return true;
    if (*after_first != '-') return false;
    last = 0;
    if (after_first + 1 == end) return true;
    const auto [after_last, last_error] = std::from_chars(after_first + 1, end, last);
    return last_error == std::errc() && after_last == end && last >= first;
}

// LIST: the catalogue of the volumes the range names.
int list_card(const char* range) {
    uint32_t first = 0;
    uint32_t last = 0;
    if (!parse_volume_range(range, first, last)) {
        std::printf("The value '%s' is an invalid volume range.\n", range);
        return -1;
    }
    const Outcome outcome = list_volumes(first, last);
    if (outcome.failed()) report_outcome(outcome);
    return outcome.status;
}

}  // namespace

int slotpush_main(int argc, char** argv) {
    if (argc <= 2) {
        print_usage();
        return 1;
    }
    if (!load_drive_choice(argv[0])) return -1;
    if (selected_drive == NO_DRIVE) choose_drive();
    if (selected_drive == NO_DRIVE) return -1;  // the listing has said why
    if (std::strcmp(argv[1], LIST_KEYWORD) == 0) return list_card(argv[2]);

    uint32_t volume_number = 0;
    if (check_volume_number(argv[2], volume_number) != 0) return -1;
    const Outcome outcome = copy_volume(argv[1], FLASH_KEYWORD, volume_number);
    report_outcome(outcome);
    return outcome.status;
}
