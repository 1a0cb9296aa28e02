#include "transfer/card_search.h"

#include <cctype>

#include "device/card_reader.h"
#include "disk/disk_change.h"
#include "transfer/image_rules.h"
#include "transfer/slot_layout.h"

namespace {

bool same_letter(char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) ==
           std::toupper(static_cast<unsigned char>(b));
}

// The pattern p matches the start of s: * any run, ? any one, else the same letter in any case.
bool matches_start(const char* p, const char* s) {
    for (; *p != '\0'; ++p, ++s) {
        if (*p == '*') {
            for (;; ++s) {
                if (matches_start(p + 1, s)) return true;
                if (*s == '\0') return false;
            }
        }
        if (*s == '\0' || (*p != '?' && !same_letter(*p, *s))) return false;
    }
    return true;
}

// The disk's first sectors, where its index and most records lie, in one read.
constexpr uint32_t FIRST_SECTORS = FIRST_DATA_SECTOR;

// Reads the disk of volume into disk, its sector 0 in the reader's sector already: the sectors
// after it up to 34 in one read, then each record the index points at past them. NO_ERROR, or
// why it could not be read.
DWORD read_disk_records(CardReader& reader, uint32_t volume, uint8_t* raw, uint8_t* disk,
                        uint64_t& read_bytes) {
    const uint64_t start = volume_byte_offset(volume);
    deinterleave(reader.sector(), {disk, IMAGE_SECTOR_BYTES});
    const size_t after_bytes = size_t{FIRST_SECTORS - 1} * DEVICE_SECTOR_BYTES;
    if (const DWORD error = reader.read({raw, after_bytes}, start + DEVICE_SECTOR_BYTES)) {
        return error;
    }
    read_bytes += after_bytes;
    deinterleave({raw, after_bytes},
                 {disk + IMAGE_SECTOR_BYTES, size_t{FIRST_SECTORS - 1} * IMAGE_SECTOR_BYTES});
    const uint8_t* index = disk + INDEX_SECTOR * IMAGE_SECTOR_BYTES;
    const uint32_t total = total_sectors(Sector{disk, IMAGE_SECTOR_BYTES});
    for (uint32_t i = 0; i < MOST_FILES; ++i) {
        const uint32_t record = index[2 * i] * 256u + index[2 * i + 1];
        if (record == 0) break;
        if (record < FIRST_SECTORS || record >= total || record >= IMAGE_SECTORS) continue;
        const uint64_t at = start + uint64_t{record} * DEVICE_SECTOR_BYTES;
        if (const DWORD error = reader.read_sector(at)) return error;
        read_bytes += DEVICE_SECTOR_BYTES;
        deinterleave(reader.sector(),
                     {disk + size_t{record} * IMAGE_SECTOR_BYTES, IMAGE_SECTOR_BYTES});
    }
    return NO_ERROR;
}

}  // namespace

bool name_holds(const char* name, const char* text) {
    for (const char* from = name;; ++from) {
        if (matches_start(text, from)) return true;
        if (*from == '\0') return false;
    }
}

Outcome find_on_card(const Card& card, const char* text, FoundSaid on_found, uint32_t& found,
                     uint64_t& read_bytes) {
    found = 0;
    read_bytes = 0;
    CardReader reader(card);
    if (const DWORD error = reader.open_error()) {
        return said_of_card(card_failed(RESULT_NO_SOURCE, error), card.shown);
    }
    const Buffer raw = obtain<uint8_t>(size_t{FIRST_SECTORS} * DEVICE_SECTOR_BYTES);
    const Buffer disk = obtain<uint8_t>(IMAGE_BYTES);
    if (!raw || !disk) return failed_with_last_error(RESULT_NO_SOURCE);
    DWORD error = NO_ERROR;
    for (uint32_t volume = 1; reader.read_volume_start(volume, error); ++volume) {
        if (interrupted()) return failed(RESULT_INTERRUPTED, NO_ERROR, Outcome::About::interrupted);
        read_bytes += error == NO_ERROR ? DEVICE_SECTOR_BYTES : 0;
        const VolumeSummary summary =
            error == NO_ERROR ? summarise_slot(reader.sector()) : VolumeSummary{};
        if (summary.kind != VolumeSummary::Kind::disk) {
            if (error != NO_ERROR)
                return said_of_card(
                    volume_failed(RESULT_NO_SOURCE, error, volume_byte_offset(volume)), card.shown);
            continue;
        }
        Found match{volume, summary.name, nullptr};
        if (name_holds(summary.name, text)) {
            ++found;
            on_found(match);
        }
        error = read_disk_records(reader, volume, raw.get(), disk.get(), read_bytes);
        if (error != NO_ERROR) {
            return said_of_card(volume_failed(RESULT_NO_SOURCE, error, volume_byte_offset(volume)),
                                card.shown);
        }
        const Directory directory = read_directory({disk.get(), IMAGE_BYTES});
        for (uint32_t i = 0; i < directory.count; ++i) {
            const DirectoryEntry& entry = directory.entries[i];
            if (entry.kind != DirectoryEntry::Kind::file || !name_holds(entry.name, text)) continue;
            match.file = &entry;
            ++found;
            on_found(match);
        }
        if (volume == UINT32_MAX) break;
    }
    return succeeded();
}
