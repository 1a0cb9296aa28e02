#include "transfer/image_rules.h"

#include <algorithm>
#include <cstring>

#include "printable.h"

namespace {

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
static_assert(SIDES * SECTORS_PER_SIDE == TRACK_DUMP_SECTORS);

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

const char* disk_text(const DiskLabel& label) {
    switch (label.kind) {
        case DiskLabel::Kind::empty:
            return "empty";
        case DiskLabel::Kind::not_a_disk:
            return "not a TI disk";
        case DiskLabel::Kind::disk:
            return label.name[0] != '\0' ? label.name : "a disk without a name";
        case DiskLabel::Kind::unknown:
            break;
    }
    return "";
}
