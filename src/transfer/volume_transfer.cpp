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

// Interleaves image into a raw buffer twice its size and writes it into the volume's slot under
// the card's claim, taken once the card is looked at; the outcome says what the volume held.
Outcome write_image(const Card& card, const char* source, uint32_t volume) {
    Outcome outcome;
    const Buffer image = prepare_image(source, outcome);
    if (!image) return outcome;
    const Pages raw = obtain_pages(SLOT_BYTES);
    if (!raw) return failed_with_last_error(RESULT_NO_SOURCE);
    const ConstImageView view{image.get(), IMAGE_BYTES};
    interleave(view, {raw.get(), SLOT_BYTES});
    CardClaim claim(card);
    if (Outcome refused = claim_card(card, volume, claim); refused.failed()) return refused;
    const DiskLabel held = label_through(claim, volume);
    const uint32_t said_total = outcome.said_total;
    const uint32_t reach = outcome.reach;
    const CardWrite run{{raw.get(), SLOT_BYTES}, volume_byte_offset(volume)};
    const auto prepare = [&](size_t, CardWrite& next) {
        next = run;
        return succeeded();
    };
    Outcome written = said_of_card(claim.write({1, prepare, no_run_written}), card.shown);
    if (!written.failed()) {
        written.held = held;
        written.holds = label_of(summarise_volume(view.first<IMAGE_SECTOR_BYTES>()));
        written.said_total = said_total;
        written.reach = reach;
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
    saved.trim_why = static_cast<uint8_t>(trimmed.why);
    return saved;
}

Buffer read_slot(const Card& card, uint32_t volume, Outcome& outcome) {
    CardReader reader(card);
    if (const DWORD error = reader.open_error()) {
        outcome = said_of_card(card_failed(RESULT_NO_SOURCE, error), card.shown);
        return nullptr;
    }
    outcome = within_card(reader, volume, STATUS_REFUSED);
    if (outcome.failed()) return nullptr;
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

Buffer read_volume_image(const Card& card, uint32_t volume, Outcome& outcome) {
    const Buffer raw = read_slot(card, volume, outcome);
    if (!raw) return nullptr;
    Buffer image = obtain<uint8_t>(IMAGE_BYTES);
    if (!image) {
        outcome = failed_with_last_error(RESULT_NO_SOURCE);
        return nullptr;
    }
    deinterleave({raw.get(), SLOT_BYTES}, {image.get(), IMAGE_BYTES});
    return image;
}

Buffer prepare_image(const char* path, Outcome& outcome, size_t* present) {
    size_t length = 0;
    Buffer image = load_file(path, IMAGE_BYTES, length, outcome);
    if (!image) return image;
    if (present != nullptr) *present = length / IMAGE_SECTOR_BYTES * IMAGE_SECTOR_BYTES;
    if (is_track_dump(ConstImageView{image.get(), IMAGE_BYTES})) {
        if (present != nullptr) *present = size_t{TRACK_DUMP_SECTORS} * IMAGE_SECTOR_BYTES;
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
    // A total that lies (0, or below what the files use) keeps the files' sectors marked.
    const uint32_t said = total_sectors(view.first<IMAGE_SECTOR_BYTES>());
    const uint32_t reach = files_reach({image.get(), IMAGE_BYTES});
    if (said < reach) {
        outcome.said_total = said;
        outcome.reach = reach;
    }
    widen_to_1600_sectors(view.first<IMAGE_SECTOR_BYTES>(), reach);
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

// Volume i's slot, in place in slot for its write; a Ctrl-C noted since the last volume stops
// the run before it.
Outcome prepare_volume(const ImageList& images, size_t i, uint8_t* slot, CardWrite& run) {
    if (interrupted()) return failed(RESULT_INTERRUPTED, NO_ERROR, Outcome::About::interrupted);
    Outcome outcome;
    size_t length = 0;
    const Buffer image = load_for_volume(images, static_cast<uint32_t>(i), outcome, length);
    if (!image) return outcome;
    if (length == SLOT_BYTES) {
        std::memcpy(slot, image.get(), SLOT_BYTES);  // the Windows programs import no memmove
    } else {
        interleave({image.get(), IMAGE_BYTES}, {slot, SLOT_BYTES});
    }
    run = {{slot, SLOT_BYTES}, volume_byte_offset(images.volumes[i])};
    return succeeded();
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
    const uint32_t last = *std::max_element(images.volumes, images.volumes + images.count);
    CardClaim claim(card);
    if (Outcome refused = claim_card(card, last, claim); refused.failed()) return refused;
    for (uint32_t i = 0; i < images.count; ++i) held[i] = label_through(claim, images.volumes[i]);
    const auto prepare = [&](size_t i, CardWrite& run) {
        return prepare_volume(images, i, slot.get(), run);
    };
    const auto volume_written = [&](size_t i) {
        const DiskLabel holds = label_of(summarise_slot(
            std::span<const uint8_t, DEVICE_SECTOR_BYTES>{slot.get(), DEVICE_SECTOR_BYTES}));
        on_written(card, images.volumes[i], held[i], holds);
        ++written;
    };
    return said_of_card(claim.write({images.count, prepare, volume_written}), card.shown);
}

Outcome write_volume_from(const Card& card, const char* source, uint32_t volume) {
    return said_of_volume(write_image(card, source, volume), card, volume);
}

Outcome read_volume_back(const Card& card, uint32_t volume, const char* destination, bool trim) {
    return said_of_volume(read_back(card, volume, destination, trim), card, volume);
}
