#include "transfer/image_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

constexpr size_t TRACK_AREA = 3253;
constexpr size_t RECORD = 334;

struct Image {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(IMAGE_BYTES, 0);
    ImageView view() { return ImageView{bytes.data(), IMAGE_BYTES}; }
    uint8_t* sector(size_t s) { return bytes.data() + s * IMAGE_SECTOR_BYTES; }
};

// A track dump whose records are written one by one; every byte not set stays as filled.
struct TrackDump : Image {
    explicit TrackDump(uint8_t fill = 0) {
        std::fill(bytes.begin(), bytes.end(), fill);
        std::fill_n(bytes.begin(), 22, 0);
        bytes[22] = 0xFE;
    }
    // Record k of track area (side area p, track area t) with the given ID bytes and data.
    void record(size_t p, size_t t, size_t k, uint8_t track, uint8_t side, uint8_t sector,
                uint8_t data) {
        uint8_t* r = bytes.data() + (40 * p + t) * TRACK_AREA + 16 + k * RECORD;
        r[7] = track;
        r[8] = side;
        r[9] = sector;
        std::fill_n(r + 31, IMAGE_SECTOR_BYTES, data);
    }
    // Every record carries the IDs of its own position and data naming its image sector.
    void in_position_order() {
        for (size_t p = 0; p < 2; ++p)
            for (size_t t = 0; t < 40; ++t)
                for (size_t k = 0; k < 9; ++k)
                    record(p, t, k, static_cast<uint8_t>(t), static_cast<uint8_t>(p),
                           static_cast<uint8_t>(k), static_cast<uint8_t>(p * 360 + t * 9 + k));
    }
    Buffer convert() { return convert_track_dump(ConstImageView{bytes.data(), IMAGE_BYTES}); }
};

bool sector_is(const Buffer& image, size_t s, uint8_t value) {
    const uint8_t* start = image.get() + s * IMAGE_SECTOR_BYTES;
    return std::all_of(start, start + IMAGE_SECTOR_BYTES, [&](uint8_t b) { return b == value; });
}

TEST(ImageRules, TrackDumpDetectionLooksAtBytes0To22Only) {
    struct Case {
        size_t index;
        uint8_t value;
        bool expected;
    };
    const Case cases[] = {
        {23, 0xFF, true},  {409599, 0x44, true}, {0, 0x01, false},  {13, 'D', false},
        {21, 0x80, false}, {22, 0xFB, false},    {22, 0x00, false},
    };
    for (const Case& c : cases) {
        TrackDump dump;
        dump.bytes[c.index] = c.value;
        EXPECT_EQ(is_track_dump(dump.view()), c.expected) << "byte " << c.index;
    }
}

TEST(ImageRules, SignatureIsExactlyDskAtBytes13To15) {
    struct Case {
        size_t at;
        const char* text;
        bool expected;
    };
    const Case cases[] = {{13, "DSK", true},
                          {13, "dsk", false},
                          {12, "DSK", false},
                          {13, "DSX", false},
                          {14, "DSK", false}};
    for (const Case& c : cases) {
        Image image;
        std::copy_n(c.text, 3, image.bytes.begin() + c.at);
        EXPECT_EQ(has_disk_signature(image.view().first<IMAGE_SECTOR_BYTES>()), c.expected)
            << c.text << " at " << c.at;
    }
}

TEST(ImageRules, WideningFreesExactlyTheSectorsAtOrAboveTheOldTotal) {
    struct Case {
        uint16_t total;
        size_t first_cleared;  // bitmap byte from which all are 0x00
        int partial;           // value of the byte before it, or -1 when it stays 0xFF
        uint32_t keep = 0;     // sectors the disk's files use, whatever its total says
    };
    const Case cases[] = {
        {360, 101, -1},     {720, 146, -1},    {1440, 236, -1},   {1600, 256, -1},
        {2880, 256, -1},    {65535, 256, -1},  {0, 56, -1},       {361, 102, 0x01},
        {7, 57, 0x7F},      {1599, 256, 0x7F}, {40, 73, -1, 136}, {0, 58, 0x03, 10},
        {360, 101, -1, 40},
    };
    for (const Case& c : cases) {
        Image image;
        for (size_t i = 0; i < IMAGE_BYTES; ++i) image.bytes[i] = static_cast<uint8_t>(i * 13);
        image.bytes[10] = static_cast<uint8_t>(c.total >> 8);
        image.bytes[11] = static_cast<uint8_t>(c.total & 0xFF);
        std::copy_n("DSK", 3, image.bytes.begin() + 13);
        std::fill(image.bytes.begin() + 56, image.bytes.begin() + 256, 0xFF);
        const std::vector<uint8_t> before = image.bytes;

        widen_to_1600_sectors(image.view().first<IMAGE_SECTOR_BYTES>(), c.keep);
        std::vector<uint8_t> expected = before;
        expected[10] = 0x06;
        expected[11] = 0x40;
        std::fill(expected.begin() + static_cast<long>(c.first_cleared), expected.begin() + 256, 0);
        if (c.partial >= 0) expected[c.first_cleared - 1] = static_cast<uint8_t>(c.partial);
        EXPECT_EQ(image.bytes, expected) << "old total " << c.total;

        widen_to_1600_sectors(image.view().first<IMAGE_SECTOR_BYTES>(), c.keep);
        EXPECT_EQ(image.bytes, expected) << "widening twice, old total " << c.total;
    }
}

TEST(ImageRules, RecordsInPositionOrderGiveSectors0To719) {
    TrackDump dump(0x33);
    dump.in_position_order();
    const std::vector<uint8_t> input = dump.bytes;
    const Buffer image = dump.convert();
    ASSERT_TRUE(image);
    for (size_t s = 0; s < 720; ++s) {
        ASSERT_TRUE(sector_is(image, s, static_cast<uint8_t>(s))) << "sector " << s;
    }
    EXPECT_TRUE(std::all_of(image.get() + 184320, image.get() + IMAGE_BYTES,
                            [](uint8_t b) { return b == FILL_BYTE; }));
    EXPECT_EQ(dump.bytes, input) << "the track dump is left unchanged";
}

TEST(ImageRules, ARecordLandsWhereItsIdBytesSay) {
    struct Case {
        size_t p, t, k;
        uint8_t track, side, sector;
        size_t image_byte;
    };
    const Case cases[] = {
        {0, 3, 0, 3, 0, 5, (3 * 9 + 5) * 256},  // read at position 0, names sector 5
        {0, 0, 8, 0, 1, 0, 92160},              // side 1, track 0, sector 0
        {0, 0, 0, 39, 1, 8, 184064},            // side 1, track 39, sector 8
        {1, 39, 8, 0, 0, 0, 0},                 // the last record read can name sector 0
        {0, 0, 0, 0, 4, 159, 1599 * 256},       // the very last sector of the image
    };
    for (const Case& c : cases) {
        TrackDump dump;
        dump.record(c.p, c.t, c.k, c.track, c.side, c.sector, 0xA7);
        const Buffer image = dump.convert();
        ASSERT_TRUE(image);
        EXPECT_TRUE(sector_is(image, c.image_byte / 256, 0xA7)) << "byte " << c.image_byte;
    }
}

TEST(ImageRules, WhenTwoRecordsNameOneSectorTheLaterOneWins) {
    struct Case {
        size_t p1, t1, k1, p2, t2, k2;  // the second position is read later
    };
    const Case cases[] = {{0, 5, 0, 1, 0, 0}, {0, 2, 8, 0, 3, 0}, {1, 7, 1, 1, 7, 2}};
    for (const Case& c : cases) {
        TrackDump dump;
        dump.record(c.p2, c.t2, c.k2, 2, 0, 4, 0xBB);
        dump.record(c.p1, c.t1, c.k1, 2, 0, 4, 0xAA);
        const Buffer image = dump.convert();
        ASSERT_TRUE(image);
        EXPECT_TRUE(sector_is(image, 2 * 9 + 4, 0xBB));
    }
}

TEST(ImageRules, RecordsNamingASectorOutsideTheImageAreSkipped) {
    TrackDump dump;
    // Zeroed records all name sector 0: give every record an out-of-range name first.
    for (size_t p = 0; p < 2; ++p)
        for (size_t t = 0; t < 40; ++t)
            for (size_t k = 0; k < 9; ++k) dump.record(p, t, k, 0xE5, 0xE5, 0xE5, 0x11);
    dump.record(0, 0, 0, 0, 5, 0, 0x22);    // side 5 lies past the image
    dump.record(0, 0, 1, 0, 4, 160, 0x22);  // sector 1600, one past the end
    dump.record(0, 0, 2, 255, 255, 255, 0x22);
    dump.record(0, 1, 0, 0, 0, 9, 0x44);  // sector 9: inside, kept
    const Buffer image = dump.convert();
    ASSERT_TRUE(image);
    EXPECT_TRUE(sector_is(image, 9, 0x44));
    EXPECT_EQ(std::count(image.get(), image.get() + IMAGE_BYTES, FILL_BYTE),
              static_cast<long>(IMAGE_BYTES - IMAGE_SECTOR_BYTES));
    EXPECT_FALSE(
        has_disk_signature(ConstImageView{image.get(), IMAGE_BYTES}.first<IMAGE_SECTOR_BYTES>()))
        << "with no record for sector 0 the image has no signature";
}

TEST(ImageRules, ASingleSidedDumpConvertsOnlyTheRecordsItHolds) {
    // A 130120-byte file loaded into a buffer that starts as the filler.
    TrackDump dump(FILL_BYTE);
    for (size_t t = 0; t < 40; ++t)
        for (size_t k = 0; k < 9; ++k)
            dump.record(0, t, k, static_cast<uint8_t>(t), 0, static_cast<uint8_t>(k),
                        static_cast<uint8_t>(t * 9 + k));
    std::fill(dump.bytes.begin() + 130120, dump.bytes.end(), FILL_BYTE);
    const Buffer image = dump.convert();
    ASSERT_TRUE(image);
    for (size_t s = 0; s < 360; ++s) ASSERT_TRUE(sector_is(image, s, static_cast<uint8_t>(s)));
    for (size_t s = 360; s < IMAGE_SECTORS; ++s) ASSERT_TRUE(sector_is(image, s, FILL_BYTE));
}

}  // namespace
