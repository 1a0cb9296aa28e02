// Moving one disk image between an image file and one volume slot of the card.
#pragma once

#include <cstdint>
#include <span>

#include "device/card.h"
#include "device/outcome.h"
#include "disk/disk_change.h"
#include "transfer/slot_layout.h"

// Writes the image file source into volume's slot (from 1). A volume past the card's end, where
// the card tells its size, is refused before the card is written.
Outcome write_volume_from(const Card& card, const char* source, uint32_t volume);

// Told of each volume of a run of many as it is written and checked: what it held, what it holds.
using VolumeWritten = void (*)(const Card& card, uint32_t volume, const DiskLabel& held,
                               const DiskLabel& holds);

// Image files and the volumes they go into; exact: backups, written back as they were saved
// (each a whole 409600 bytes), with none of a write's TI rules.
struct ImageList {
    const char* const* files;
    const uint32_t* volumes;
    uint32_t count;
    bool exact;
};

// Each image file loaded as its write will load it: success, or the first one's refusal.
Outcome check_images(const ImageList& images);

// Writes the image files into their volumes: every image is loaded and checked, and every volume
// checked against the card's end, before anything is written; then the card is claimed once and
// each volume written and checked in turn, and said through on_written. A failure part-way stops
// the run; written counts the volumes written.
Outcome write_volume_list(const Card& card, const ImageList& images, VolumeWritten on_written,
                          uint32_t& written);

// Reads volume's slot back into the file destination: refused before anything is saved where
// the volume lies past the card's end, or destination names a device or the card itself. With
// trim, a TI disk is saved at its own size (trim_to_geometry), and the outcome says how.
Outcome read_volume_back(const Card& card, uint32_t volume, const char* destination,
                         bool trim = false);

// Saves the disk of a slot read back into path, trimmed where asked, or with whole the slot's
// every byte, and says so: the outcome names the volume, the card, what it holds, the file and
// how it was saved.
Outcome save_volume(const char* path, const Card& card, uint32_t volume,
                    std::span<const uint8_t> raw_slot, bool trim, bool whole = false);

// The raw bytes of the volume's slot, read through one open of the card; none, with outcome
// saying why, when the card does not open, the slot lies past its end or cannot be read.
Buffer read_slot(const Card& card, uint32_t volume, Outcome& outcome);

// The volume's disk: the slot read as read_slot reads it, its filler bytes dropped.
Buffer read_volume_image(const Card& card, uint32_t volume, Outcome& outcome);

// The image file at path as a write puts it on the card: a track dump converted into its sector
// dump, the volume widened to 1600 sectors (where its total says fewer sectors than its files
// use, outcome's said_total and reach say so, and those stay marked used). None, with outcome
// saying why, when it cannot be read or carries no volume signature. present, where given, tells
// the bytes of whole sectors the file held, past which the disk has none.
Buffer prepare_image(const char* path, Outcome& outcome, size_t* present = nullptr);
