// Moving disk images between image files and volume slots of the card: one volume read back,
// and runs of volumes written, each from a source of slots.
#pragma once

#include <cstdint>
#include <span>

#include "device/card.h"
#include "device/failure.h"
#include "disk/disk_change.h"
#include "function_ref.h"
#include "transfer/slot_layout.h"
#include "transfer/volume_records.h"

// The slots a run of many writes, in their order: the volume of slot i, and what puts its bytes
// (SLOT_BYTES) in place, noting in written what the write's line says of its image. A fill is
// called once for each slot to check it before the card is touched, and again for its write; a
// failure of either stops the run before that slot.
struct SlotSource {
    uint32_t count = 0;
    FunctionRef<uint32_t(uint32_t i)> volume;
    FunctionRef<Result(uint32_t i, std::span<uint8_t> slot, VolumeWritten& written)> fill;
};

// Fills slot from the image file at path as a write takes it (prepare_image), or, exact, as a
// backup saved it: the slot's disk (IMAGE_BYTES) or the whole slot (SLOT_BYTES), nothing else.
Result fill_from_image(const char* path, bool exact, std::span<uint8_t> slot,
                       VolumeWritten& written);

// Every slot of the source filled once, so that a refusal comes before the card is looked at:
// success, or the first one's failure.
Result check_slots(const SlotSource& slots);

// How far a run of many came: the volumes written and checked, and whether it got to the card
// (claimed it; a failure from there on is part-way).
struct RunProgress {
    uint32_t written = 0;
    bool began = false;
};

// Writes the source's slots into their volumes: every slot checked, and every volume checked
// against the card's end, before anything is written; then the card is claimed once and each
// volume written and read back in turn and said through on_written. A failure part-way, or a
// Ctrl-C between two volumes, stops the run.
Result write_volume_run(const Card& card, const SlotSource& slots, WrittenLine on_written,
                        RunProgress& progress);

// Writes the image file source into volume's slot (from 1): the image read before the card is
// looked at, and the card claimed only once it is whole.
Result write_volume_from(const Card& card, const char* source, uint32_t volume,
                         WrittenLine on_written);

// Reads volume's slot back into the file destination: refused before anything is saved where
// the volume lies past the card's end, or destination names a device or the card itself. With
// trim, a TI disk is saved at its own size (trim_to_geometry); on_saved says how.
Result read_volume_back(const Card& card, uint32_t volume, const char* destination, bool trim,
                        SavedLine on_saved);

// Saves the disk of a slot read back into path, trimmed where asked, or with whole the slot's
// every byte; saved tells what was saved and how.
Result save_volume(const char* path, const Card& card, uint32_t volume,
                   std::span<const uint8_t> raw_slot, bool trim, bool whole, VolumeSaved& saved);

// The raw bytes of the volume's slot (SLOT_BYTES) into raw, read through one open of the card:
// success, or why not (the card does not open, the slot lies past its end or cannot be read).
Result read_slot(const Card& card, uint32_t volume, Buffer& raw);

// The volume's disk (IMAGE_BYTES) into image: the slot read as read_slot reads it, its filler
// bytes dropped.
Result read_volume_image(const Card& card, uint32_t volume, Buffer& image);

// An image file as a write puts it on the card: a track dump converted into its sector dump,
// the volume widened to 1600 sectors. present tells the bytes of whole sectors the file held,
// past which the disk has none; where its total said fewer sectors (said_total) than its files
// use (reach, else 0), those stay marked used.
struct PreparedImage {
    Buffer bytes;  // IMAGE_BYTES
    size_t present = 0;
    uint32_t said_total = 0;
    uint32_t reach = 0;
};

// The image file at path prepared so: success, or why not (it cannot be read, or carries no
// volume signature).
Result prepare_image(const char* path, PreparedImage& image);
