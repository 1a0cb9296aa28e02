#include "front/front_end.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>

#include "device/card.h"
#include "device/platform_detection.h"
#include "device/system_text.h"
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

// A number's decimal digits, for printf's %s: the C runtime of the oldest Windows has no
// 64-bit conversion of its own.
struct Decimal {
    explicit Decimal(uint64_t number) {
        *std::to_chars(text, text + sizeof text - 1, number).ptr = '\0';
    }
    char text[24] = {};
};

// The mounts of a disk in use, as the system names them.
constexpr size_t MOUNTS_TEXT_BYTES = 512;

// What a failure line names before the system's reason: the file, the card, or its volume.
void print_subject(const Outcome& outcome) {
    using Where = Outcome::Where;
    switch (outcome.where) {
        case Where::nothing_named:
            return;
        case Where::image_file:
            std::printf("the image file '%s': ", outcome.path);
            return;
        case Where::output_file:
            std::printf("the output file '%s': ", outcome.path);
            return;
        case Where::card:
            std::printf("%s: ", outcome.card_name);
            return;
        case Where::card_volume:
            std::printf("volume %s on %s: ", Decimal(outcome.volume).text, outcome.card_name);
            return;
    }
}

// The system's reason, or where the card's own system can say more of a disk in use (which of
// its partitions are mounted where), that.
void print_reason(DWORD error, const Card* card) {
    char mounts[MOUNTS_TEXT_BYTES] = {};
    if (error == ERROR_BUSY && card != nullptr &&
        native_disk_mounts(card->path, mounts, sizeof mounts) && mounts[0] != '\0') {
        std::printf("The disk is in use: %s.\n", mounts);
        return;
    }
    print_system_text(error, true);  // which usually ends in its own line break
    std::printf("\n");
}

// A disk as the catalogue names it, for a line that is not the catalogue's.
const char* disk_text(const DiskLabel& label) {
    switch (label.kind) {
        case DiskLabel::Kind::empty:
            return "empty";
        case DiskLabel::Kind::not_a_disk:
            return "not a TI disk";
        case DiskLabel::Kind::disk:
            return label.name[0] != '\0' ? label.name : "a disk without a name";
        case DiskLabel::Kind::unknown:
            break;
    }
    return "";
}

// What a successful write replaced and a read-back saved, and where, before the success line:
// "Volume 5 on /dev/sdb held GAMES-1; it now holds DM5.", "Volume 5 on /dev/sdb (DM5) saved as
// FLASH."
void report_success(const Outcome& outcome) {
    const Decimal volume(outcome.volume);
    using Kind = DiskLabel::Kind;
    if (outcome.path != nullptr) {
        std::printf("Volume %s on %s (%s) saved as %s.\n", volume.text, outcome.card_name,
                    disk_text(outcome.holds), outcome.path);
    } else if (outcome.holds.kind != Kind::unknown) {
        std::printf("Volume %s on %s ", volume.text, outcome.card_name);
        switch (outcome.held.kind) {
            case Kind::empty:
                std::printf("was empty; it now holds ");
                break;
            case Kind::not_a_disk:
                std::printf("held something that is not a TI disk; it now holds ");
                break;
            case Kind::disk:
                std::printf("held %s; it now holds ", disk_text(outcome.held));
                break;
            case Kind::unknown:
                std::printf("now holds ");  // what it held could not be read
                break;
        }
        std::printf("%s.\n", disk_text(outcome.holds));
    }
    std::printf("slotpull succeeded.\n");
}

// The outcome line of the run, or the refusal of its image; card is the card the run used,
// where one was settled.
void report_outcome(const Outcome& outcome, const Card* card) {
    using About = Outcome::About;
    if (!outcome.failed()) {
        report_success(outcome);
        return;
    }
    switch (outcome.about) {
        case About::not_an_image:
            std::printf("Not a supported TI/99-4A format\n");
            return;
        case About::image_too_large:
            std::printf("The image file holds %s bytes; a disk image holds at most %s bytes.\n",
                        Decimal(outcome.length).text, Decimal(IMAGE_BYTES).text);
            return;
        case About::slot_differs:
            std::printf(
                "slotpull failed: volume %s on the card does not hold what was written; "
                "the first difference is at byte %s of its slot.\n",
                Decimal(outcome.volume).text, Decimal(outcome.byte).text);
            return;
        case About::past_card_end:
            std::printf("slotpull failed: volume %s is past the card's end; ",
                        Decimal(outcome.volume).text);
            if (outcome.last_volume == 0) {
                std::printf("the card holds no whole volume.\n");
            } else {
                std::printf("its last whole volume is %s.\n", Decimal(outcome.last_volume).text);
            }
            return;
        case About::not_a_card:
            std::printf("slotpull failed: %s is neither a disk nor a file.\n", outcome.card_name);
            return;
        case About::pc_disk:
            std::printf(
                "slotpull failed: %s is a fixed disk with partitions, not a card; nothing was "
                "written.\n",
                outcome.card_name);
            return;
        case About::not_one_disk:
            std::printf(
                "slotpull failed: no single physical drive holds %s; name the drive as "
                "\\\\.\\PHYSICALDRIVEn.\n",
                outcome.card_name);
            return;
        case About::listed:
            return;  // the catalogue's lines have said why
        case About::card_volume:
            std::printf("slotpull failed: Volume %c: on the card could not be locked: ",
                        outcome.letter);
            break;
        case About::system:
            std::printf("slotpull failed: ");
            print_subject(outcome);
            break;
    }
    print_reason(outcome.error, card);
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

// LIST: the catalogue of the volumes first to last (0: to the card's end).
int list_card(const Card& card, uint32_t first, uint32_t last) {
    const Outcome outcome = list_volumes(card, first, last);
    if (outcome.about == Outcome::About::past_card_end) {
        std::printf("Volume %s is past the card's end", Decimal(outcome.volume).text);
        if (outcome.last_volume != 0) {
            std::printf("; its last whole volume is %s", Decimal(outcome.last_volume).text);
        }
        std::printf(".\n");
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
