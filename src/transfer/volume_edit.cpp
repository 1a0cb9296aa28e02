#include "transfer/volume_edit.h"

#include <algorithm>

#include "disk/directory.h"
#include "disk/disk_change.h"
#include "transfer/image_rules.h"
#include "transfer/volume_transfer.h"

Outcome edit_volume(const Card& card, uint32_t volume, VolumeEdit edit,
                    const uint8_t (&name)[TI_NAME_BYTES]) {
    Outcome outcome;
    const Buffer image = read_volume_image(card, volume, outcome, SlotUse::change);
    if (!image) return outcome;
    const std::span<uint8_t, IMAGE_BYTES> disk{image.get(), IMAGE_BYTES};
    const WritableSector sector0 = disk.first<IMAGE_SECTOR_BYTES>();
    const DiskLabel held = label_of(summarise_volume(sector0));
    ChangedSector order[2] = {{0, 0}, {INDEX_SECTOR, 1}};
    size_t count = 1;
    switch (edit) {
        case VolumeEdit::rename:
            if (held.kind != DiskLabel::Kind::disk) {
                Outcome missing =
                    failed(RESULT_CHANGE_REFUSED, NO_ERROR, Outcome::About::no_such_file);
                missing.holds = held;
                missing.volume = volume;
                missing.card_name = card.shown;
                return missing;
            }
            rename_volume(sector0, name);
            break;
        case VolumeEdit::format:
            format_volume(sector0, disk.subspan<IMAGE_SECTOR_BYTES, IMAGE_SECTOR_BYTES>(), name);
            count = 2;
            break;
        case VolumeEdit::clear:
            std::fill(sector0.begin(), sector0.end(), 0);
            break;
    }
    outcome = write_volume_sectors(card, volume, disk, {order, count});
    if (outcome.failed()) return outcome;
    outcome.volume = volume;
    outcome.card_name = card.shown;
    outcome.held = held;
    outcome.holds = label_of(summarise_volume(sector0));
    return outcome;
}
