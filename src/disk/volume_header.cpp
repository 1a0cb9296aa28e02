#include "disk/volume_header.h"

#include <algorithm>
#include <cstring>

#include "printable.h"

namespace {

constexpr size_t TOTAL_SECTORS = 10;  // big-endian, 2 bytes
constexpr size_t SECTORS_PER_TRACK = 12;
constexpr size_t SIGNATURE = 13;   // "DSK"
constexpr size_t PROTECTION = 16;  // 'P' for a protected disk
constexpr size_t TRACKS_PER_SIDE = 17;
constexpr size_t SIDES = 18;
constexpr size_t DENSITY = 19;
constexpr size_t ALLOCATION_BITMAP = 56;
// The card's own geometry: 2 sides of 40 tracks of 20 sectors, in the density byte that the
// disk managers write for it.
constexpr uint8_t CARD_SIDES = 2;
constexpr uint8_t CARD_TRACKS = 40;
constexpr uint8_t CARD_SECTORS_PER_TRACK = 20;
constexpr uint8_t CARD_DENSITY = 3;
constexpr uint8_t SIGNATURE_TEXT[] = {'D', 'S', 'K'};

}  // namespace

bool has_disk_signature(Sector sector0) {
    return std::equal(std::begin(SIGNATURE_TEXT), std::end(SIGNATURE_TEXT),
                      sector0.begin() + SIGNATURE);
}

uint32_t total_sectors(Sector sector0) {
    return be16(sector0.data() + TOTAL_SECTORS);
}

bool is_used(Sector sector0, uint32_t sector) {
    return sector >= MAPPED_SECTORS || (sector0[ALLOCATION_BITMAP + sector / 8] >> sector % 8 & 1);
}

void mark_used(WritableSector sector0, uint32_t sector, bool used) {
    if (sector >= MAPPED_SECTORS) return;
    const auto bit = static_cast<uint8_t>(1u << sector % 8);
    uint8_t& byte = sector0[ALLOCATION_BITMAP + sector / 8];
    byte = used ? byte | bit : byte & ~bit;
}

void set_total(WritableSector sector0, uint32_t total) {
    sector0[TOTAL_SECTORS] = static_cast<uint8_t>(total >> 8);
    sector0[TOTAL_SECTORS + 1] = static_cast<uint8_t>(total);
}

void widen_to_1600_sectors(WritableSector sector0, uint32_t keep) {
    for (uint32_t sector = std::max(total_sectors(sector0), keep); sector < MAPPED_SECTORS;
         ++sector) {
        mark_used(sector0, sector, false);
    }
    set_total(sector0, MAPPED_SECTORS);
}

bool show_name(const uint8_t* bytes, char (&name)[TI_NAME_BYTES + 1]) {
    size_t length = TI_NAME_BYTES;
    while (length > 0 && bytes[length - 1] == ' ') --length;
    bool text = length > 0;
    for (size_t i = 0; i < length; ++i) {
        name[i] = printable(bytes[i]);
        text = text && name[i] == static_cast<char>(bytes[i]);
    }
    name[length] = '\0';
    return text;
}

VolumeSummary summarise_volume(Sector sector0) {
    VolumeSummary summary;
    if (!has_disk_signature(sector0)) {
        const bool blank = std::all_of(sector0.begin(), sector0.end(),
                                       [&](uint8_t byte) { return byte == sector0[0]; });
        summary.kind = blank ? VolumeSummary::Kind::empty : VolumeSummary::Kind::not_a_disk;
        return summary;
    }
    summary.kind = VolumeSummary::Kind::disk;
    show_name(sector0.data(), summary.name);
    summary.sectors = total_sectors(sector0);
    for (uint32_t sector = 0; sector < std::min(summary.sectors, MAPPED_SECTORS); ++sector) {
        if (!is_used(sector0, sector)) ++summary.free;
    }
    summary.is_protected = sector0[PROTECTION] == 'P';
    return summary;
}

uint32_t geometry_sectors(Sector sector0) {
    return uint32_t{sector0[SIDES]} * sector0[TRACKS_PER_SIDE] * sector0[SECTORS_PER_TRACK];
}

Trimmed trim_to_geometry(WritableSector sector0, uint32_t files_reach) {
    Trimmed trimmed;
    const uint32_t own = geometry_sectors(sector0);
    if (own == MAPPED_SECTORS) return trimmed;
    bool beyond = files_reach > own;  // something used past the disk's own end
    trimmed.why = own >= MAPPED_SECTORS ? Trimmed::Why::larger
                  : beyond              ? Trimmed::Why::file
                                        : Trimmed::Why::marked;
    for (uint32_t sector = own; sector < MAPPED_SECTORS; ++sector) {
        beyond = beyond || is_used(sector0, sector);
    }
    if (own > 1 && own < MAPPED_SECTORS && !beyond) {
        for (uint32_t sector = own; sector < MAPPED_SECTORS; ++sector) {
            mark_used(sector0, sector, true);
        }
        set_total(sector0, own);
        return {Trimmed::Kind::cut, Trimmed::Why::marked, own};
    }
    sector0[SIDES] = CARD_SIDES;
    sector0[TRACKS_PER_SIDE] = CARD_TRACKS;
    sector0[SECTORS_PER_TRACK] = CARD_SECTORS_PER_TRACK;
    set_total(sector0, MAPPED_SECTORS);
    trimmed.kind = Trimmed::Kind::regeometried;
    return trimmed;
}

void format_volume(WritableSector sector0, WritableSector index, const uint8_t* name) {
    std::fill(sector0.begin(), sector0.end(), 0);
    std::fill(index.begin(), index.end(), 0);
    rename_volume(sector0, name);
    set_total(sector0, MAPPED_SECTORS);
    sector0[SECTORS_PER_TRACK] = CARD_SECTORS_PER_TRACK;
    std::memcpy(sector0.data() + SIGNATURE, SIGNATURE_TEXT, sizeof SIGNATURE_TEXT);
    sector0[PROTECTION] = ' ';
    sector0[TRACKS_PER_SIDE] = CARD_TRACKS;
    sector0[SIDES] = CARD_SIDES;
    sector0[DENSITY] = CARD_DENSITY;
    mark_used(sector0, 0, true);
    mark_used(sector0, 1, true);
}

void rename_volume(WritableSector sector0, const uint8_t* name) {
    std::memcpy(sector0.data(), name, TI_NAME_BYTES);  // the Windows programs import no memmove
}
