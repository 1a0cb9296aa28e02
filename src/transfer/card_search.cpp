#include "transfer/card_search.h"

#include "device/card_reader.h"
#include "disk/disk_change.h"
#include "disk/name_pattern.h"
#include "transfer/image_rules.h"
#include "transfer/slot_layout.h"
#include "transfer/volume_change.h"

Result find_on_card(const Card& card, const char* text, FoundLine on_found, Search& search) {
    search = {};
    uint32_t& found = search.found;
    uint64_t& read_bytes = search.read_bytes;
    CardReader reader(card);
    if (Result failed = reader.opened()) return failed;
    const Buffer raw = obtain<uint8_t>(size_t{FIRST_SECTORS} * DEVICE_SECTOR_BYTES);
    const Buffer disk = obtain<uint8_t>(IMAGE_BYTES);
    if (!raw || !disk) return last_error_failure(RESULT_NO_SOURCE);
    const auto read = [&](std::span<uint8_t> buffer, uint64_t byte_offset) {
        return reader.read(buffer, byte_offset);
    };
    const auto visit = [&](uint32_t volume, DWORD error) {
        read_bytes += error == NO_ERROR ? DEVICE_SECTOR_BYTES : 0;
        const VolumeSummary summary =
            error == NO_ERROR ? summarise_slot(reader.sector()) : VolumeSummary{};
        Found match{volume, summary.name, nullptr, error};
        if (error == NO_ERROR && summary.kind == VolumeSummary::Kind::disk) {
            if (name_holds(summary.name, text)) {
                ++found;
                on_found(match);
            }
            deinterleave(reader.sector(), {disk.get(), IMAGE_SECTOR_BYTES});
            match.error = error =
                read_disk_records(read, volume, 1, raw.get(), disk.get(), read_bytes);
        }
        if (error != NO_ERROR) {
            on_found(match);
            ++search.unread;
        }
        if (error != NO_ERROR || summary.kind != VolumeSummary::Kind::disk) return true;
        const Directory directory = read_directory({disk.get(), IMAGE_BYTES});
        for (uint32_t i = 0; i < directory.count; ++i) {
            const DirectoryEntry& entry = directory.entries[i];
            if (entry.kind != DirectoryEntry::Kind::file || !name_holds(entry.name, text)) continue;
            match.file = &entry;
            ++found;
            on_found(match);
        }
        return true;
    };
    if (reader.for_each_volume(1, 0, visit).kind == WalkEnd::Kind::interrupted) {
        return stopped_by_ctrl_c();
    }
    return std::nullopt;
}
