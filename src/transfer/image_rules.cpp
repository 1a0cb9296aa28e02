#include "transfer/image_rules.h"

#include <algorithm>
#include <cstring>

#include "device/printable.h"

namespace {

// Sector 0, the volume information.
constexpr size_t TOTAL_SECTORS_HIGH = 10;  // big-endian 16-bit total
constexpr size_t TOTAL_SECTORS_LOW = 11;
constexpr size_t NAME_BYTES = 10;         // the volume name, from byte 0, blank-padded
constexpr size_t SIGNATURE = 13;          // "DSK"
constexpr size_t PROTECTION = 16;         // 'P' for a protected disk
constexpr size_t ALLOCATION_BITMAP = 56;  // one bit per sector, bit 0 of byte 56 + n is sector 8n
constexpr uint8_t SIGNATURE_TEXT[] = {'D', 'S', 'K'};

// A single-density track dump: 2 sides x 40 tracks, each track area 3253 bytes holding nine
// 334-byte sector records after a 16-byte lead-in.
constexpr size_t SIDES = 2;
constexpr size_t TRACKS_PER_SIDE = 40;
constexpr size_t SECTORS_PER_TRACK = 9;
constexpr size_t TRACK_AREA_BYTES = 3253;
constexpr size_t LEAD_IN_BYTES = 16;
constexpr size_t RECORD_BYTES = 334;
constexpr size_t RECORD_ID_MARK = 6;  // 0xFE, then track, side and sector numbers
constexpr size_t RECORD_ID_TRACK = 7;
constexpr size_t RECORD_ID_SIDE = 8;
constexpr size_t RECORD_ID_SECTOR = 9;
constexpr size_t RECORD_DATA = 31;
constexpr uint8_t ID_ADDRESS_MARK = 0xFE;
constexpr size_t SECTORS_PER_SIDE = TRACKS_PER_SIDE * SECTORS_PER_TRACK;  // 360

static_assert(SIDES * TRACKS_PER_SIDE * TRACK_AREA_BYTES <= IMAGE_BYTES,
              "a whole track dump lies inside the load buffer");

}  // namespace

bool is_track_dump(ConstImageView buffer) {
    const size_t mark = LEAD_IN_BYTES + RECORD_ID_MARK;
    const bool zero_lead_in =
        std::all_of(buffer.begin(), buffer.begin() + mark, [](uint8_t byte) { return byte == 0; });
    return zero_lead_in && buffer[mark] == ID_ADDRESS_MARK;
}

Buffer convert_track_dump(ConstImageView track_dump) {
    Buffer image = obtain<uint8_t>(IMAGE_BYTES);
    if (!image) return image;
    std::fill_n(image.get(), IMAGE_BYTES, FILL_BYTE);
    for (size_t area = 0; area < SIDES * TRACKS_PER_SIDE; ++area) {
        for (size_t k = 0; k < SECTORS_PER_TRACK; ++k) {
            const uint8_t* record =
                track_dump.data() + area * TRACK_AREA_BYTES + LEAD_IN_BYTES + k * RECORD_BYTES;
            // Where the data goes depends on the record's own ID bytes alone.
            const size_t sector = record[RECORD_ID_SIDE] * SECTORS_PER_SIDE +
                                  record[RECORD_ID_TRACK] * SECTORS_PER_TRACK +
                                  record[RECORD_ID_SECTOR];
            if (sector >= IMAGE_SECTORS) continue;
            std::memcpy(image.get() + sector * IMAGE_SECTOR_BYTES, record + RECORD_DATA,
                        IMAGE_SECTOR_BYTES);
        }
    }
    return image;
}

namespace {

bool signed_as_disk(std::span<const uint8_t, IMAGE_SECTOR_BYTES> sector0) {
    return std::equal(std::begin(SIGNATURE_TEXT), std::end(SIGNATURE_TEXT),
                      sector0.begin() + SIGNATURE);
}

}  // namespace

bool has_disk_signature(ConstImageView image) {
    return signed_as_disk(image.first<IMAGE_SECTOR_BYTES>());
}

void widen_to_1600_sectors(ImageView image) {
    const size_t old_total = image[TOTAL_SECTORS_HIGH] * 256u + image[TOTAL_SECTORS_LOW];
    for (size_t n = 0; n < IMAGE_SECTORS / 8; ++n) {
        const size_t first_sector = 8 * n;
        if (first_sector >= old_total) {
            image[ALLOCATION_BITMAP + n] = 0x00;
        } else if (old_total - first_sector < 8) {
            // The byte holds the old volume's last sectors and new ones: clear only the new.
            const auto kept = static_cast<uint8_t>((1u << (old_total - first_sector)) - 1);
            image[ALLOCATION_BITMAP + n] &= kept;
        }
    }
    image[TOTAL_SECTORS_HIGH] = IMAGE_SECTORS >> 8;
    image[TOTAL_SECTORS_LOW] = IMAGE_SECTORS & 0xFF;
}

bool show_name(const uint8_t* bytes, char (&name)[11]) {
    size_t length = NAME_BYTES;
    while (length > 0 && bytes[length - 1] == ' ') --length;
    bool text = length > 0;
    for (size_t i = 0; i < length; ++i) {
        name[i] = printable(bytes[i]);
        text = text && name[i] == static_cast<char>(bytes[i]);
    }
    name[length] = '\0';
    return text;
}

VolumeSummary summarise_volume(std::span<const uint8_t, IMAGE_SECTOR_BYTES> sector0) {
    VolumeSummary summary;
    if (!signed_as_disk(sector0)) {
        const bool blank = std::all_of(sector0.begin(), sector0.end(),
                                       [&](uint8_t byte) { return byte == sector0[0]; });
        summary.kind = blank ? VolumeSummary::Kind::empty : VolumeSummary::Kind::not_a_disk;
        return summary;
    }
    summary.kind = VolumeSummary::Kind::disk;
    show_name(sector0.data(), summary.name);
    summary.sectors = sector0[TOTAL_SECTORS_HIGH] * 256u + sector0[TOTAL_SECTORS_LOW];
    const uint32_t mapped = std::min<uint32_t>(
        summary.sectors, static_cast<uint32_t>(IMAGE_SECTOR_BYTES - ALLOCATION_BITMAP) * 8);
    for (uint32_t sector = 0; sector < mapped; ++sector) {
        if ((sector0[ALLOCATION_BITMAP + sector / 8] >> (sector % 8) & 1) == 0) ++summary.free;
    }
    summary.is_protected = sector0[PROTECTION] == 'P';
    return summary;
}

VolumeSummary summarise_slot(std::span<const uint8_t, DEVICE_SECTOR_BYTES> raw) {
    uint8_t sector0[IMAGE_SECTOR_BYTES];
    deinterleave(raw, sector0);
    return summarise_volume(sector0);
}

DiskLabel label_of(const VolumeSummary& summary) {
    using Kind = DiskLabel::Kind;
    DiskLabel label;
    label.kind = summary.kind == VolumeSummary::Kind::disk    ? Kind::disk
                 : summary.kind == VolumeSummary::Kind::empty ? Kind::empty
                                                              : Kind::not_a_disk;
    std::copy(std::begin(summary.name), std::end(summary.name), label.name);
    return label;
}
