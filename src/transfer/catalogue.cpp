#include "transfer/catalogue.h"

#include <charconv>
#include <cstdio>

#include "device/card_reader.h"
#include "device/system_text.h"
#include "transfer/image_rules.h"
#include "transfer/slot_layout.h"

namespace {

// "41", or "3-40" for a run: the volume column's text.
struct Volumes {
    Volumes(uint32_t first, uint32_t last) {
        constexpr size_t MOST_DIGITS = 10;  // of a 32-bit number
        char* end = std::to_chars(text, text + MOST_DIGITS, first).ptr;
        if (last != first) {
            *end++ = '-';
            end = std::to_chars(end, end + MOST_DIGITS, last).ptr;
        }
        *end = '\0';
    }
    char text[2 * 10 + 2] = {};
};

void print_volume(uint32_t volume, const VolumeSummary& summary) {
    const Volumes column(volume, volume);
    if (summary.kind == VolumeSummary::Kind::not_a_disk) {
        std::printf("%6s  (not a TI disk)\n", column.text);
        return;
    }
    std::printf("%6s  %-10s  %7lu  %4lu%s\n", column.text, summary.name,
                static_cast<unsigned long>(summary.sectors),
                static_cast<unsigned long>(summary.free), summary.is_protected ? "  P" : "");
}

// The slots found empty one after another, printed as one line once the run ends.
class EmptyRun {
  public:
    void add(uint32_t volume) {
        if (count_++ == 0) first_ = volume;
    }
    void end() {
        if (count_ > 0) {
            std::printf("%6s  (empty)\n", Volumes(first_, first_ + count_ - 1).text);
        }
        count_ = 0;
    }

  private:
    uint32_t first_ = 0;
    uint32_t count_ = 0;
};

// Where the system does not tell the card's size, a read at a slot's start that finds nothing
// there is the card's end.
bool ends_the_card(DWORD error) {
    return error == ERROR_HANDLE_EOF || error == ERROR_SECTOR_NOT_FOUND;
}

}  // namespace

Outcome list_volumes(const Card& card, uint32_t first, uint32_t last) {
    CardReader reader(card);
    if (const DWORD error = reader.open_error()) {
        return said_of_card(card_failed(RESULT_NO_SOURCE, error), card.shown);
    }
    const std::optional<uint32_t> whole_volumes = reader.whole_volumes();
    Outcome outcome = succeeded();
    EmptyRun empty;
    for (uint32_t volume = first;; ++volume) {
        DWORD error = NO_ERROR;
        bool ended = whole_volumes && volume > *whole_volumes;
        if (!ended) {
            error = reader.read_sector(volume_byte_offset(volume));
            ended = !whole_volumes && ends_the_card(error);
        }
        if (ended && volume == first) {
            outcome = failed(STATUS_REFUSED, NO_ERROR, Outcome::About::past_card_end);
            outcome.volume = first;
            outcome.last_volume = whole_volumes;
            return outcome;
        }
        if (volume == first) std::printf("Volume  Name        Sectors  Free  Prot\n");
        if (ended) {
            empty.end();
            std::printf("The card ends after volume %lu.\n",
                        static_cast<unsigned long>(volume - 1));
            break;
        }
        if (error != NO_ERROR) {
            empty.end();
            std::printf("%6s  (not read: ", Volumes(volume, volume).text);
            print_system_text(error);
            std::printf(")\n");
            if (volume == first) outcome = failed(RESULT_NO_SOURCE, error, Outcome::About::listed);
        } else {
            const VolumeSummary summary = summarise_slot(reader.sector());
            if (summary.kind == VolumeSummary::Kind::empty) {
                empty.add(volume);
            } else {
                empty.end();
                print_volume(volume, summary);
            }
        }
        if (volume == last || volume == UINT32_MAX) break;
    }
    empty.end();
    return outcome;
}
