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
#include "transfer/disk_directory.h"
#include "transfer/volume_transfer.h"
#include "winapi.h"

void print_usage() {
    std::printf("\nslotpush Version 1.0\n\n");
    std::printf("Usage:    slotpush <DSK file> <volume#>\n");
    std::printf("Example:  slotpush c:\\ti_dsk\\dm5.dsk 5\n");
    std::printf("\n");
    std::printf("Also:     slotpush FLASH <volume#> [<file>]   read a volume back (into FLASH)\n");
    std::printf("          slotpush LIST <first>[-<last>]      list what the volumes hold\n");
    std::printf("          slotpush DIR <volume#>|<DSK file>   list the files on a disk\n");
    std::printf("Option:   --card <device or file>             name the card, before the rest\n");
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

// A step's outcome, said; card is the card it used, where it used one.
int reported(const Outcome& outcome, const Card* card) {
    report_outcome(outcome, card);
    return outcome.status;
}

// A listing's outcome: its own lines have said what it found, so only a failure is said.
int listed(const Outcome& outcome, const Card* card) {
    return outcome.failed() ? reported(outcome, card) : outcome.status;
}

// LIST: the catalogue of the volumes first to last (0: to the card's end).
int list_card(const Card& card, uint32_t first, uint32_t last) {
    const Outcome outcome = list_volumes(card, first, last);
    if (outcome.about != Outcome::About::past_card_end) return listed(outcome, &card);
    report_list_past_end(outcome);
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

// What the command line asks for, its volume text checked.
struct Request {
    enum class Kind : uint8_t { write, read_back, list, list_files, list_image_files } kind;
    uint32_t volume = 0;
    uint32_t last = 0;           // of a LIST range; 0: to the card's end
    const char* file = nullptr;  // the image file, or the read-back's output file
};

// The request of the arguments after the program and any --card: false, with the refusal said,
// for a volume text that names no volume.
bool parse_request(int count, char** args, Request& request) {
    const char* what = args[0];
    const char* volume_text = args[1];
    if (std::strcmp(what, LIST_KEYWORD) == 0) {
        request.kind = Request::Kind::list;
        if (parse_volume_range(volume_text, request.volume, request.last)) return true;
        std::printf("The value '%s' is an invalid volume range.\n", volume_text);
        return false;
    }
    const bool dir = std::strcmp(what, DIR_KEYWORD) == 0;
    const char* digit = volume_text;
    while (*digit >= '0' && *digit <= '9') ++digit;
    if (dir && *digit != '\0') {  // not all digits: an image file
        request.kind = Request::Kind::list_image_files;
        request.file = volume_text;
        return true;
    }
    const bool flash = std::strcmp(what, FLASH_KEYWORD) == 0;
    request.kind = dir     ? Request::Kind::list_files
                   : flash ? Request::Kind::read_back
                           : Request::Kind::write;
    request.file = flash ? (count > 2 ? args[2] : FLASH_KEYWORD) : what;
    return check_volume_number(volume_text, request.volume) == 0;
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
    Request request{};
    if (!parse_request(argc - first, argv + first, request)) return -1;
    using Kind = Request::Kind;
    if (request.kind == Kind::list_image_files) {
        return listed(list_image_files(request.file), nullptr);
    }
    const std::optional<Card> card = settle_card(argv[0], named ? argv[2] : nullptr);
    if (!card) return -1;
    switch (request.kind) {
        case Kind::list:
            return list_card(*card, request.volume, request.last);
        case Kind::list_files:
            return listed(list_volume_files(*card, request.volume), &*card);
        case Kind::read_back:
            return reported(copy_volume(*card, FLASH_KEYWORD, request.file, request.volume),
                            &*card);
        case Kind::write:
        case Kind::list_image_files:
            break;
    }
    return reported(copy_volume(*card, request.file, FLASH_KEYWORD, request.volume), &*card);
}
