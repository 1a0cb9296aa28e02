#include "transfer/volume_edit.h"

#include <algorithm>

#include "disk/directory.h"
#include "disk/disk_change.h"
#include "transfer/image_rules.h"
#include "transfer/slot_layout.h"
#include "transfer/volume_change.h"

namespace {

// Sector 0 of the volume, read through the claim into sector0.
Outcome read_sector0(CardClaim& claim, uint32_t volume, WritableSector sector0) {
    const Pages raw = obtain_pages(DEVICE_SECTOR_BYTES);
    if (!raw) return failed_with_last_error(RESULT_NO_SOURCE);
    const uint64_t offset = volume_byte_offset(volume);
    if (const DWORD error = claim.read({raw.get(), DEVICE_SECTOR_BYTES}, offset)) {
        return said_of_card(volume_failed(RESULT_NO_SOURCE, error, offset), claim.card.shown);
    }
    deinterleave({raw.get(), DEVICE_SECTOR_BYTES}, sector0);
    return succeeded();
}

}  // namespace

Outcome edit_volume(const Card& card, uint32_t volume, VolumeEdit edit,
                    const uint8_t (&name)[TI_NAME_BYTES]) {
    const Buffer image = obtain<uint8_t>(IMAGE_BYTES);
    if (!image) return failed_with_last_error(RESULT_NO_SOURCE);
    const std::span<uint8_t, IMAGE_BYTES> disk{image.get(), IMAGE_BYTES};
    const WritableSector sector0 = disk.first<IMAGE_SECTOR_BYTES>();
    CardClaim claim(card);
    Outcome outcome = claim_card(card, volume, claim);
    if (!outcome.failed()) outcome = read_sector0(claim, volume, sector0);
    if (outcome.failed()) return outcome;
    const DiskLabel held = label_of(summarise_volume(sector0));
    // A new disk's empty index goes first: a cut before its sector 0 leaves the old disk with
    // no files, never the new one with the old disk's.
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
            order[0] = {INDEX_SECTOR, 0};
            order[1] = {0, 1};
            count = 2;
            break;
        case VolumeEdit::clear:
            std::fill(sector0.begin(), sector0.end(), 0);
            break;
    }
    outcome = write_volume_sectors(claim, volume, disk, {order, count});
    if (outcome.failed()) return outcome;
    outcome.volume = volume;
    outcome.card_name = card.shown;
    outcome.held = held;
    outcome.holds = label_of(summarise_volume(sector0));
    return outcome;
}
