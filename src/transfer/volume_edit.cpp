#include "transfer/volume_edit.h"

#include <algorithm>

#include "device/card_failure.h"
#include "disk/directory.h"
#include "disk/disk_change.h"
#include "transfer/image_rules.h"
#include "transfer/slot_layout.h"
#include "transfer/volume_change.h"

namespace {

// Sector 0 of the volume, read through the claim into sector0.
Result read_sector0(CardClaim& claim, uint32_t volume, WritableSector sector0) {
    const Pages raw = obtain_pages(DEVICE_SECTOR_BYTES);
    if (!raw) return last_error_failure(RESULT_NO_SOURCE);
    const uint64_t offset = volume_byte_offset(volume);
    if (const DWORD error = claim.read({raw.get(), DEVICE_SECTOR_BYTES}, offset)) {
        return volume_read_failure(claim.card, volume, error);
    }
    deinterleave({raw.get(), DEVICE_SECTOR_BYTES}, sector0);
    return std::nullopt;
}

}  // namespace

Result edit_volume(const Card& card, uint32_t volume, VolumeEdit edit,
                   const uint8_t (&name)[TI_NAME_BYTES], WrittenLine on_written) {
    const Buffer image = obtain<uint8_t>(IMAGE_BYTES);
    if (!image) return last_error_failure(RESULT_NO_SOURCE);
    const std::span<uint8_t, IMAGE_BYTES> disk{image.get(), IMAGE_BYTES};
    const WritableSector sector0 = disk.first<IMAGE_SECTOR_BYTES>();
    CardClaim claim(card);
    if (Result refused = claim_card(card, volume, claim)) return refused;
    if (Result failed = read_sector0(claim, volume, sector0)) return failed;
    VolumeWritten written;
    written.volume = volume;
    written.held = label_of(summarise_volume(sector0));
    // A new disk's empty index goes first: a cut before its sector 0 leaves the old disk with
    // no files, never the new one with the old disk's.
    ChangedSector order[2] = {{0, 0}, {INDEX_SECTOR, 1}};
    size_t count = 1;
    switch (edit) {
        case VolumeEdit::rename:
            if (written.held.kind != DiskLabel::Kind::disk) {
                Text words("There is no TI disk in ");
                words.add(volume_on(card, volume)).add(": it is ").add(disk_text(written.held));
                return Failure::line(RESULT_CHANGE_REFUSED, words.add("."));
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
    if (Result failed = write_volume_sectors(claim, volume, disk, {order, count})) return failed;
    written.holds = label_of(summarise_volume(sector0));
    on_written(written);
    return std::nullopt;
}
