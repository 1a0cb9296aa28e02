#include "transfer/volume_transfer.h"

#include <algorithm>
#include <cstring>

#include "device/card_claim.h"
#include "device/card_reader.h"
#include "disk/disk_check.h"
#include "transfer/image_file.h"
#include "transfer/image_rules.h"
#include "transfer/slot_layout.h"
#include "transfer/volume_change.h"
#include "winapi.h"

Result prepare_image(const char* path, PreparedImage& image) {
    LoadedFile loaded;
    if (Result failed = load_file(path, IMAGE_BYTES, loaded)) return failed;
    image.bytes = std::move(loaded.bytes);
    image.present = loaded.length / IMAGE_SECTOR_BYTES * IMAGE_SECTOR_BYTES;
    if (is_track_dump(ConstImageView{image.bytes.get(), IMAGE_BYTES})) {
        image.present = size_t{TRACK_DUMP_SECTORS} * IMAGE_SECTOR_BYTES;
        image.bytes = convert_track_dump(ConstImageView{image.bytes.get(), IMAGE_BYTES});
        if (!image.bytes) return last_error_failure(RESULT_NO_SOURCE);
    }
    const ImageView view{image.bytes.get(), IMAGE_BYTES};
    if (!has_disk_signature(view.first<IMAGE_SECTOR_BYTES>())) {
        Text words("Not a supported TI/99-4A format: ");
        return Failure::line(RESULT_NOT_AN_IMAGE, words.quoted(path).add(" has no DSK signature."));
    }
    // A total that lies (0, or below what the files use) keeps the files' sectors marked.
    const uint32_t said = total_sectors(view.first<IMAGE_SECTOR_BYTES>());
    const uint32_t reach = files_reach({image.bytes.get(), IMAGE_BYTES});
    if (said < reach) {
        image.said_total = said;
        image.reach = reach;
    }
    widen_to_1600_sectors(view.first<IMAGE_SECTOR_BYTES>(), reach);
    return std::nullopt;
}

namespace {

// A backup's file, as it was saved: the slot's disk, or the whole slot.
Result fill_exact(const char* path, std::span<uint8_t> slot) {
    LoadedFile loaded;
    if (Result failed = load_file(path, SLOT_BYTES, loaded)) return failed;
    if (loaded.length == SLOT_BYTES) {
        std::memcpy(slot.data(), loaded.bytes.get(), SLOT_BYTES);  // no memmove on Windows
        return std::nullopt;
    }
    if (loaded.length == IMAGE_BYTES) {
        interleave({loaded.bytes.get(), IMAGE_BYTES}, slot);
        return std::nullopt;
    }
    Text words;
    words.quoted(path)
        .add(" holds ")
        .number(loaded.length)
        .add(" bytes, neither a slot's disk of ");
    words.number(IMAGE_BYTES).add(" nor the whole slot's ").number(SLOT_BYTES);
    return Failure(RESULT_NOT_AN_IMAGE, words.add("; nothing was written."));
}

// The volume's first sector as the catalogue names it, from a slot in memory.
DiskLabel label_of_slot(std::span<const uint8_t> slot) {
    return label_of(summarise_slot(slot.first<DEVICE_SECTOR_BYTES>()));
}

}  // namespace

Result fill_from_image(const char* path, bool exact, std::span<uint8_t> slot,
                       VolumeWritten& written) {
    if (exact) return fill_exact(path, slot);
    PreparedImage image;
    if (Result failed = prepare_image(path, image)) return failed;
    interleave({image.bytes.get(), IMAGE_BYTES}, slot);
    written.said_total = image.said_total;
    written.reach = image.reach;
    return std::nullopt;
}

Result check_slots(const SlotSource& slots) {
    const Pages slot = obtain_pages(SLOT_BYTES);
    if (!slot) return last_error_failure(RESULT_NO_SOURCE);
    for (uint32_t i = 0; i < slots.count; ++i) {
        VolumeWritten written;
        if (Result refused = slots.fill(i, {slot.get(), SLOT_BYTES}, written)) return refused;
    }
    return std::nullopt;
}

Result write_volume_run(const Card& card, const SlotSource& slots, WrittenLine on_written,
                        RunProgress& progress) {
    progress = {};
    if (Result refused = check_slots(slots)) return refused;
    const Owned<VolumeWritten> lines = obtain<VolumeWritten>(slots.count);
    const Pages slot = obtain_pages(SLOT_BYTES);
    if (!lines || !slot) return last_error_failure(RESULT_NO_SOURCE);
    uint32_t last = 0;
    for (uint32_t i = 0; i < slots.count; ++i) last = std::max(last, slots.volume(i));
    CardClaim claim(card);
    if (Result refused = claim_card(card, last, claim)) return refused;
    progress.began = true;
    for (uint32_t i = 0; i < slots.count; ++i) {
        lines[i].volume = slots.volume(i);
        lines[i].held = label_through(claim, lines[i].volume);
    }
    const std::span<uint8_t> bytes{slot.get(), SLOT_BYTES};
    const auto prepare = [&](size_t i, CardWrite& run) -> Result {
        if (interrupted()) return stopped_by_ctrl_c();
        if (Result failed = slots.fill(static_cast<uint32_t>(i), bytes, lines[i])) return failed;
        run = {bytes, volume_byte_offset(lines[i].volume)};
        return std::nullopt;
    };
    const auto volume_written = [&](size_t i) {
        lines[i].holds = label_of_slot(bytes);
        on_written(lines[i]);
        ++progress.written;
    };
    const auto place = [&](size_t i) {
        return CardSpan{volume_byte_offset(lines[i].volume), SLOT_BYTES};
    };
    return claim.write({slots.count, prepare, volume_written, place});
}

// The image is read and put in place before the card is claimed, so that a refusal touches
// nothing; then the one slot is written under the claim, as the run's first step is.
Result write_volume_from(const Card& card, const char* source, uint32_t volume,
                         WrittenLine on_written) {
    PreparedImage image;
    if (Result refused = prepare_image(source, image)) return refused;
    const Pages slot = obtain_pages(SLOT_BYTES);
    if (!slot) return last_error_failure(RESULT_NO_SOURCE);
    const std::span<uint8_t> bytes{slot.get(), SLOT_BYTES};
    interleave({image.bytes.get(), IMAGE_BYTES}, bytes);
    VolumeWritten written{volume, {}, {}, image.said_total, image.reach};
    CardClaim claim(card);
    if (Result refused = claim_card(card, volume, claim)) return refused;
    written.held = label_through(claim, volume);
    const CardWrite run{bytes, volume_byte_offset(volume)};
    const auto prepare = [&](size_t, CardWrite& next) -> Result {
        next = run;
        return std::nullopt;
    };
    if (Result failed = claim.write({1, prepare, no_run_written})) return failed;
    written.holds = label_of_slot(bytes);
    on_written(written);
    return std::nullopt;
}

Result save_volume(const char* path, const Card& card, uint32_t volume,
                   std::span<const uint8_t> raw_slot, bool trim, bool whole, VolumeSaved& saved) {
    saved = {volume, label_of_slot(raw_slot), path, {}, whole};
    return save_image_file(path, card, raw_slot, trim, whole, saved.trimmed);
}

Result read_slot(const Card& card, uint32_t volume, Buffer& raw) {
    CardReader reader(card);
    if (Result failed = reader.opened()) return failed;
    if (const auto whole = reader.whole_volumes(); whole && volume > *whole) {
        return reader.past_end(volume);
    }
    raw = obtain<uint8_t>(SLOT_BYTES);
    if (!raw) return last_error_failure(RESULT_NO_SOURCE);
    if (const DWORD error = reader.read({raw.get(), SLOT_BYTES}, volume_byte_offset(volume))) {
        return volume_read_failure(card, volume, error);
    }
    return std::nullopt;
}

Result read_volume_image(const Card& card, uint32_t volume, Buffer& image) {
    Buffer raw;
    if (Result failed = read_slot(card, volume, raw)) return failed;
    image = obtain<uint8_t>(IMAGE_BYTES);
    if (!image) return last_error_failure(RESULT_NO_SOURCE);
    deinterleave({raw.get(), SLOT_BYTES}, {image.get(), IMAGE_BYTES});
    return std::nullopt;
}

Result read_volume_back(const Card& card, uint32_t volume, const char* destination, bool trim,
                        SavedLine on_saved) {
    Buffer raw;
    if (Result failed = read_slot(card, volume, raw)) return failed;
    VolumeSaved saved;
    if (Result failed =
            save_volume(destination, card, volume, {raw.get(), SLOT_BYTES}, trim, false, saved)) {
        return failed;
    }
    on_saved(saved);
    return std::nullopt;
}
