#include "disk/volume_header.h"

#include <algorithm>

#include "printable.h"

namespace {

constexpr size_t TOTAL_SECTORS = 10;  // big-endian, 2 bytes
constexpr size_t SIGNATURE = 13;      // "DSK"
constexpr size_t PROTECTION = 16;     // 'P' for a protected disk
constexpr size_t ALLOCATION_BITMAP = 56;
constexpr uint8_t SIGNATURE_TEXT[] = {'D', 'S', 'K'};

}  // namespace

bool has_disk_signature(Sector sector0) {
    return std::equal(std::begin(SIGNATURE_TEXT), std::end(SIGNATURE_TEXT),
                      sector0.begin() + SIGNATURE);
}

uint32_t total_sectors(Sector sector0) {
    return sector0[TOTAL_SECTORS] * 256u + sector0[TOTAL_SECTORS + 1];
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

void widen_to_1600_sectors(WritableSector sector0) {
    for (uint32_t sector = total_sectors(sector0); sector < MAPPED_SECTORS; ++sector) {
        mark_used(sector0, sector, false);
    }
    sector0[TOTAL_SECTORS] = MAPPED_SECTORS >> 8;
    sector0[TOTAL_SECTORS + 1] = MAPPED_SECTORS & 0xFF;
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
