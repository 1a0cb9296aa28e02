#include "transfer/catalogue.h"

#include "device/card_reader.h"
#include "transfer/image_rules.h"

Result read_catalogue(const Card& card, uint32_t first, uint32_t last, const CatalogueLines& lines,
                      uint32_t& ends_after) {
    ends_after = 0;
    CardReader reader(card);
    if (Result failed = reader.opened()) return failed;
    bool opened = false;
    const auto visit = [&](uint32_t volume, DWORD error) {
        if (!opened) lines.opened(reader.whole_volumes());
        opened = true;
        CatalogueEntry entry{volume, {}, error};
        if (error == NO_ERROR) entry.summary = summarise_slot(reader.sector());
        lines.volume(entry);
        return true;
    };
    const WalkEnd end = reader.for_each_volume(first, last, visit);
    switch (end.kind) {
        case WalkEnd::Kind::first_past_end:
            return reader.past_end(first, true);
        case WalkEnd::Kind::card_end:
            ends_after = end.volume - 1;
            break;
        case WalkEnd::Kind::interrupted:
            return stopped_by_ctrl_c();
        case WalkEnd::Kind::last:
        case WalkEnd::Kind::stopped:
            break;
    }
    return std::nullopt;
}
