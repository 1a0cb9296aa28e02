#include "transfer/volume_transfer.h"

#include <algorithm>
#include <cstring>

#include "device/card_reader.h"
#include "transfer/image_file.h"
#include "transfer/image_rules.h"
#include "transfer/slot_layout.h"
#include "winapi.h"

namespace {

// Refused with status when the card tells its size and the volume does not lie wholly on it.
Outcome within_card(const CardReader& reader, uint32_t volume, int32_t status) {
    const auto whole_volumes = reader.whole_volumes();
    if (!whole_volumes || volume <= *whole_volumes) return succeeded();
    return reader.past_end(volume, status);
}

Outcome read_back(const Card& card, uint32_t volume, const char* destination, bool trim) {
    Outcome outcome;
    const Buffer raw = read_slot(card, volume, outcome);
    if (!raw) return outcome;
    return save_volume(destination, card, volume, {raw.get(), SLOT_BYTES}, trim);
}

// The card is looked at once, through one reader, before anything else touches it: a volume
// past its end, where it tells its size, is refused, as is a PC's own disk; what each volume
// holds is read as the catalogue reads it. A card that does not answer is left to
// the write to report.
Outcome look_before_write(const Card& card, const ImageList& images, std::span<DiskLabel> held) {
    CardReader reader(card);
    if (reader.open_error() != NO_ERROR) return succeeded();
    const uint32_t last = *std::max_element(images.volumes, images.volumes + images.count);
    if (Outcome refused = within_card(reader, last, RESULT_WRITE_FAILED); refused.failed()) {
        return refused;
    }
    if (reader.is_pc_disk()) {
        return said_of_card(failed(RESULT_WRITE_FAILED, NO_ERROR, Outcome::About::pc_disk),
                            card.shown);
    }
    for (size_t i = 0; i < held.size(); ++i) {
        held[i] = DiskLabel{};
        if (reader.read_sector(volume_byte_offset(images.volumes[i])) == NO_ERROR) {
            held[i] = label_of(summarise_slot(reader.sector()));
        }
    }
    return succeeded();
}

// Interleaves image into a raw buffer twice its size and writes it into the card's slot.
Outcome write_volume(const Card& card, std::span<const uint8_t> image, uint32_t volume) {
    const size_t raw_bytes = 2 * image.size();
    const Pages raw = obtain_pages(raw_bytes);
    if (!raw) return failed_with_last_error(RESULT_NO_SOURCE);
    const std::span<uint8_t> slot{raw.get(), raw_bytes};
    interleave(image, slot);
    const CardWrite run{slot, volume_byte_offset(volume)};
    const std::span<const CardWrite> runs{&run, 1};
    const Outcome written = card.access->write(card, runs_in_memory(runs));
    return said_of_card(written, card.shown);
}

Outcome write_image(const Card& card, const char* source, uint32_t volume) {
    Outcome outcome;
    const Buffer image = prepare_image(source, outcome);
    if (!image) return outcome;
    const ConstImageView view{image.get(), IMAGE_BYTES};
    DiskLabel held;
    const ImageList one{&source, &volume, 1, false};
    if (Outcome refused = look_before_write(card, one, {&held, 1}); refused.failed()) {
        return refused;
    }
    Outcome written = write_volume(card, view, volume);
    if (!written.failed()) {
        written.held = held;
        written.holds = label_of(summarise_volume(view.first<IMAGE_SECTOR_BYTES>()));
    }
    return written;
}

}  // namespace

Outcome save_volume(const char* path, const Card& card, uint32_t volume,
                    std::span<const uint8_t> raw_slot, bool trim, bool whole) {
    Trimmed trimmed;
    Outcome saved = save_image_file(path, card, raw_slot, trim, whole, trimmed);
    if (saved.failed()) return saved;
    saved.whole_slot = whole;
    saved.volume = volume;
    saved.card_name = card.shown;
    saved.holds = label_of(summarise_slot(raw_slot.first<DEVICE_SECTOR_BYTES>()));
    saved.path = path;
    saved.trim = static_cast<uint8_t>(trimmed.kind);
    saved.disk_sectors = trimmed.sectors;
    return saved;
}

Buffer read_slot(const Card& card, uint32_t volume, Outcome& outcome, SlotUse use) {
    CardReader reader(card);
    if (const DWORD error = reader.open_error()) {
        outcome = said_of_card(card_failed(RESULT_NO_SOURCE, error), card.shown);
        return nullptr;
    }
    outcome = within_card(reader, volume, RESULT_NO_SOURCE);
    if (outcome.failed()) return nullptr;
    if (use == SlotUse::change && reader.is_pc_disk()) {
        outcome = said_of_card(failed(RESULT_WRITE_FAILED, NO_ERROR, Outcome::About::pc_disk),
                               card.shown);
        return nullptr;
    }
    Buffer raw = obtain<uint8_t>(SLOT_BYTES);
    if (!raw) {
        outcome = failed_with_last_error(RESULT_NO_SOURCE);
        return nullptr;
    }
    const uint64_t offset = volume_byte_offset(volume);
    if (const DWORD error = reader.read({raw.get(), SLOT_BYTES}, offset)) {
        outcome = said_of_card(volume_failed(RESULT_NO_SOURCE, error, offset), card.shown);
        return nullptr;
    }
    return raw;
}

Buffer read_volume_image(const Card& card, uint32_t volume, Outcome& outcome, SlotUse use) {
    const Buffer raw = read_slot(card, volume, outcome, use);
    if (!raw) return nullptr;
    Buffer image = obtain<uint8_t>(IMAGE_BYTES);
    if (!image) {
        outcome = failed_with_last_error(RESULT_NO_SOURCE);
        return nullptr;
    }
    deinterleave({raw.get(), SLOT_BYTES}, {image.get(), IMAGE_BYTES});
    return image;
}

Outcome write_volume_sectors(const Card& card, uint32_t volume, std::span<const uint8_t> disk,
                             std::span<const ChangedSector> order) {
    if (order.empty()) return succeeded();
    const Pages raw = obtain_pages(order.size() * DEVICE_SECTOR_BYTES);
    const Owned<CardWrite> runs = obtain<CardWrite>(order.size());
    if (!raw || !runs) return failed_with_last_error(RESULT_WRITE_FAILED);
    size_t count = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        const std::span<uint8_t> sector{raw.get() + i * DEVICE_SECTOR_BYTES, DEVICE_SECTOR_BYTES};
        const ChangedSector& changed = order[i];
        interleave(disk.subspan(size_t{changed.sector} * IMAGE_SECTOR_BYTES, IMAGE_SECTOR_BYTES),
                   sector);
        const uint64_t offset =
            volume_byte_offset(volume) + uint64_t{changed.sector} * DEVICE_SECTOR_BYTES;
        CardWrite* last = count > 0 ? &runs[count - 1] : nullptr;
        if (last != nullptr && order[i - 1].step == changed.step &&
            last->byte_offset + last->bytes.size() == offset) {
            last->bytes = {last->bytes.data(), last->bytes.size() + DEVICE_SECTOR_BYTES};
        } else {
            runs[count++] = {sector, offset};
        }
    }
    const std::span<const CardWrite> written{runs.get(), count};
    return said_of_card(card.access->write(card, runs_in_memory(written)), card.shown);
}

Buffer prepare_image(const char* path, Outcome& outcome) {
    Buffer image = load_image_file(path, outcome);
    if (!image) return image;
    if (is_track_dump(ConstImageView{image.get(), IMAGE_BYTES})) {
        image = convert_track_dump(ConstImageView{image.get(), IMAGE_BYTES});
        if (!image) {
            outcome = failed_with_last_error(RESULT_NO_SOURCE);
            return image;
        }
    }
    const ImageView view{image.get(), IMAGE_BYTES};
    if (!has_disk_signature(view.first<IMAGE_SECTOR_BYTES>())) {
        outcome = failed(RESULT_NOT_AN_IMAGE, NO_ERROR, Outcome::About::not_an_image);
        outcome.path = path;
        return nullptr;
    }
    widen_to_1600_sectors(view.first<IMAGE_SECTOR_BYTES>());
    return image;
}

namespace {

// The line that says what moved names the volume and the card.
Outcome said_of_volume(Outcome outcome, const Card& card, uint32_t volume) {
    if (!outcome.failed()) {
        outcome.volume = volume;
        outcome.card_name = card.shown;
    }
    return outcome;
}

// A run of many volumes: the images' files and their volumes, the volumes' labels before the
// write, and the pages that hold the slot being written.
struct Batch {
    const Card* card;
    const ImageList* images;
    const DiskLabel* held;
    uint8_t* slot;  // SLOT_BYTES of pages
    VolumeWritten on_written;
    uint32_t* written;
};

// A backup's file, as it was saved: the slot's disk, or the whole slot (length says which);
// else an image as a write takes it.
Buffer load_for_volume(const ImageList& images, uint32_t i, Outcome& outcome, size_t& length) {
    length = IMAGE_BYTES;
    if (!images.exact) return prepare_image(images.files[i], outcome);
    Buffer image = load_file(images.files[i], SLOT_BYTES, length, outcome);
    if (image && length != IMAGE_BYTES && length != SLOT_BYTES) {
        outcome = failed(RESULT_NOT_AN_IMAGE, NO_ERROR, Outcome::About::not_a_backup);
        outcome.path = images.files[i];
        outcome.length = length;
        return nullptr;
    }
    return image;
}

// Volume i's slot, in place for its write; a Ctrl-C noted since the last volume stops the run
// before it.
Outcome prepare_volume(const void* context, size_t i, CardWrite& run) {
    const Batch& batch = *static_cast<const Batch*>(context);
    if (interrupted()) return failed(RESULT_INTERRUPTED, NO_ERROR, Outcome::About::interrupted);
    Outcome outcome;
    size_t length = 0;
    const Buffer image = load_for_volume(*batch.images, static_cast<uint32_t>(i), outcome, length);
    if (!image) return outcome;
    if (length == SLOT_BYTES) {
        std::memcpy(batch.slot, image.get(), SLOT_BYTES);  // the Windows programs import no memmove
    } else {
        interleave({image.get(), IMAGE_BYTES}, {batch.slot, SLOT_BYTES});
    }
    run = {{batch.slot, SLOT_BYTES}, volume_byte_offset(batch.images->volumes[i])};
    return succeeded();
}

void volume_written(const void* context, size_t i) {
    const Batch& batch = *static_cast<const Batch*>(context);
    const DiskLabel holds = label_of(summarise_slot(
        std::span<const uint8_t, DEVICE_SECTOR_BYTES>{batch.slot, DEVICE_SECTOR_BYTES}));
    batch.on_written(*batch.card, batch.images->volumes[i], batch.held[i], holds);
    ++*batch.written;
}

}  // namespace

Outcome check_images(const ImageList& images) {
    for (uint32_t i = 0; i < images.count; ++i) {
        Outcome outcome;
        size_t length = 0;
        if (!load_for_volume(images, i, outcome, length)) return outcome;
    }
    return succeeded();
}

Outcome write_volume_list(const Card& card, const ImageList& images, VolumeWritten on_written,
                          uint32_t& written) {
    written = 0;
    // Each image is read now, and again when it is written.
    if (Outcome refused = check_images(images); refused.failed()) return refused;
    const Owned<DiskLabel> held = obtain<DiskLabel>(images.count);
    const Pages slot = obtain_pages(SLOT_BYTES);
    if (!held || !slot) return failed_with_last_error(RESULT_NO_SOURCE);
    std::fill_n(held.get(), images.count, DiskLabel{});  // unknown where the card is not looked at
    if (Outcome refused = look_before_write(card, images, {held.get(), images.count});
        refused.failed()) {
        return refused;
    }
    const Batch batch{&card, &images, held.get(), slot.get(), on_written, &written};
    WriteSource source;
    source.count = images.count;
    source.prepare = prepare_volume;
    source.written = volume_written;
    source.context = &batch;
    return said_of_card(card.access->write(card, source), card.shown);
}

Outcome write_volume_from(const Card& card, const char* source, uint32_t volume) {
    return said_of_volume(write_image(card, source, volume), card, volume);
}

Outcome read_volume_back(const Card& card, uint32_t volume, const char* destination, bool trim) {
    return said_of_volume(read_back(card, volume, destination, trim), card, volume);
}
