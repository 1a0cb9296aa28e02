#include "front/front_end.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>

#include "device/card.h"
#include "device/platform_detection.h"
#include "front/outcome_lines.h"
#include "slotpush.h"
#include "transfer/catalogue.h"
#include "transfer/volume_transfer.h"
#include "winapi.h"

void print_usage() {
    std::printf("\nslotpush Version 1.0\n\n");
    std::printf("Usage:    slotpush <DSK file> <volume#>\n");
    std::printf("Example:  slotpush c:\\ti_dsk\\dm5.dsk 5\n");
}

int32_t check_volume_number(const char* text, uint32_t& volume_out) {
    uint64_t value = 0;
    bool valid = *text != '\0';
    for (const char* c = text; valid && *c != '\0'; ++c) {
        valid = *c >= '0' && *c <= '9';
        value = value * 10 + static_cast<uint64_t>(*c - '0');
        valid = valid && value <= UINT32_MAX;
    }
    if (!valid || value == 0) {
        std::printf("The value '%s' is an invalid volume number.\n", text);
        return -1;
    }
    volume_out = static_cast<uint32_t>(value);
    return 0;
}

namespace {

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

// LIST: the catalogue of the volumes first to last (0: to the card's end).
int list_card(const Card& card, uint32_t first, uint32_t last) {
    const Outcome outcome = list_volumes(card, first, last);
    if (outcome.about == Outcome::About::past_card_end) {
        report_list_past_end(outcome);
    } else if (outcome.failed()) {
        report_outcome(outcome, &card);
    }
    return outcome.status;
}

// The card named on the command line, else the one the drive-choice file stores, else the one
// the user picks from the listing; none (its reason said) when there is none.
std::optional<Card> settle_card(const char* program, const char* named) {
    if (named != nullptr) {
        Card card;
        const Outcome outcome = name_card(named, card);
        if (!outcome.failed()) return card;
        report_outcome(outcome, nullptr);
        return std::nullopt;
    }
    int32_t stored = NO_DRIVE;
    if (!load_drive_choice(program, stored)) return std::nullopt;
    if (stored != NO_DRIVE) return physical_drive_card(stored);
    return choose_drive();  // the listing says why when none is chosen
}

}  // namespace

// The volume text is checked before the card is settled, so that a slip is refused without a
// question.
int slotpush_main(int argc, char** argv) {
    const bool named = argc > 2 && std::strcmp(argv[1], CARD_OPTION) == 0;
    const int first = named ? 3 : 1;  // the image file or keyword
    if (argc - first < 2) {
        print_usage();
        return 1;
    }
    const char* what = argv[first];
    const char* volume_text = argv[first + 1];
    const bool list = std::strcmp(what, LIST_KEYWORD) == 0;
    uint32_t volume = 0;
    uint32_t last = 0;
    if (list && !parse_volume_range(volume_text, volume, last)) {
        std::printf("The value '%s' is an invalid volume range.\n", volume_text);
        return -1;
    }
    if (!list && check_volume_number(volume_text, volume) != 0) return -1;

    const std::optional<Card> card = settle_card(argv[0], named ? argv[2] : nullptr);
    if (!card) return -1;
    if (list) return list_card(*card, volume, last);
    const Outcome outcome = copy_volume(*card, what, FLASH_KEYWORD, volume);
    report_outcome(outcome, &*card);
    return outcome.status;
}
