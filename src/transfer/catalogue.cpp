#include "transfer/catalogue.h"

#include <charconv>
#include <cstdio>
#include <cstring>

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

// The volume column is as wide as the widest run it can show, and never narrower than its
// header, so that the columns stay aligned however far the card reaches.
int column_width(uint32_t last) {
    constexpr int HEADER_WIDTH = 6;  // "Volume"
    const int widest =
        static_cast<int>(std::strlen(Volumes(last > 1 ? last - 1 : last, last).text));
    return widest > HEADER_WIDTH ? widest : HEADER_WIDTH;
}

void print_volume(int width, uint32_t volume, const VolumeSummary& summary) {
    const Volumes column(volume, volume);
    if (summary.kind == VolumeSummary::Kind::not_a_disk) {
        std::printf("%*s  (not a TI disk)\n", width, column.text);
        return;
    }
    std::printf("%*s  %-10s  %7lu  %4lu%s\n", width, column.text, summary.name,
                static_cast<unsigned long>(summary.sectors),
                static_cast<unsigned long>(summary.free), summary.is_protected ? "  P" : "");
}

// The slots found empty one after another, printed as one line once the run ends.
class EmptyRun {
  public:
    explicit EmptyRun(int width) : width_(width) {}
    void add(uint32_t volume) {
        if (count_++ == 0) first_ = volume;
    }
    void end() {
        if (count_ > 0) {
            std::printf("%*s  (empty)\n", width_, Volumes(first_, first_ + count_ - 1).text);
        }
        count_ = 0;
    }

  private:
    int width_;
    uint32_t first_ = 0;
    uint32_t count_ = 0;
};

}  // namespace

Outcome list_volumes(const Card& card, uint32_t first, uint32_t last) {
    CardReader reader(card);
    if (const DWORD error = reader.open_error()) {
        return said_of_card(card_failed(RESULT_NO_SOURCE, error), card.shown);
    }
    const std::optional<uint32_t> whole_volumes = reader.whole_volumes();
    Outcome outcome = succeeded();
    // Where neither the range nor the card says where the list ends, it is aligned up to 99999.
    constexpr uint32_t WIDEST_UNKNOWN_END = 99999;
    const int width = column_width(last != 0 ? last : whole_volumes.value_or(WIDEST_UNKNOWN_END));
    EmptyRun empty(width);
    for (uint32_t volume = first;; ++volume) {
        DWORD error = NO_ERROR;
        const bool ended = !reader.read_volume_start(volume, error);
        if (ended && volume == first) return reader.past_end(first, STATUS_REFUSED);
        if (volume == first) std::printf("%*s  Name        Sectors  Free  Prot\n", width, "Volume");
        if (ended) {
            empty.end();
            std::printf("The card ends after volume %lu.\n",
                        static_cast<unsigned long>(volume - 1));
            break;
        }
        if (error != NO_ERROR) {
            empty.end();
            std::printf("%*s  (not read: ", width, Volumes(volume, volume).text);
            print_system_text(error);
            std::printf(")\n");
            if (volume == first) outcome = failed(RESULT_NO_SOURCE, error, Outcome::About::listed);
        } else {
            const VolumeSummary summary = summarise_slot(reader.sector());
            if (summary.kind == VolumeSummary::Kind::empty) {
                empty.add(volume);
            } else {
                empty.end();
                print_volume(width, volume, summary);
            }
        }
        if (volume == last || volume == UINT32_MAX) break;
        if (interrupted()) {
            empty.end();
            return failed(RESULT_INTERRUPTED, NO_ERROR, Outcome::About::interrupted);
        }
    }
    empty.end();
    return outcome;
}
