// UNDO: the newest change kept for the card put back byte for byte, once every run it wrote is
// seen to hold still what the change left there; and the list of what the store keeps.
#pragma once

#include <cstdint>

#include "device/card.h"
#include "device/change_record.h"
#include "function_ref.h"
#include "transfer/volume_records.h"

// A volume put back, and what it holds again.
struct VolumeUndone {
    uint32_t volume = 0;
    DiskLabel holds;
};
using UndoneLine = FunctionRef<void(const VolumeUndone& undone)>;

// Puts back the newest change the store in folder keeps for the card, each volume said as it is
// put back; the change's header into undone. Refused, with nothing written, where none is kept
// or where any of its runs holds something else now (the volumes named).
Result undo_change(const Card& card, const char* folder, UndoneLine on_undone,
                   RecordHeader& undone);

// A change the store keeps: its header, the volumes it changed ("3", "1-40, 52") and its size.
struct KeptChange {
    const RecordHeader* header = nullptr;
    const char* volumes = nullptr;
    size_t volume_count = 0;
    uint64_t bytes = 0;
};
using KeptLine = FunctionRef<void(const KeptChange& change)>;

// Each change the store keeps, newest first; how many there were.
uint32_t list_changes(const char* folder, KeptLine on_change);
