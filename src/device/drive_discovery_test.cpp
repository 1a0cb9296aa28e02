#include "device/drive_discovery.h"

#include <gtest/gtest.h>

#include <functional>
#include <span>

#include "testing/test_support.h"

namespace {

using namespace testing_support;

constexpr const char* HEADER =
    "List of All Possible Flash Drives\n---------------------------------\n\n";
constexpr const char* NONE =
    "         ** None **\nNo removable drive was found; name the card with --card PATH.\n";
constexpr const char* ASK_ONE = "\n\nUse this drive? (Y/N): ";
constexpr const char* ASK_LETTER = "\n\nSelect drive letter or press ENTER to exit: ";
constexpr const char* INVALID = "Invalid selection\n";

struct Listing {
    std::string output;
    int32_t chosen;
    std::string unread;  // what the listing left of standard input
};

template <typename F>
Listing run_listing(F list, const std::string& input) {
    feed_stdin(input + "\nnext line");
    Listing result;
    result.output = printed_by([&] { result.chosen = list(); });
    result.unread = rest_of_stdin();
    EXPECT_EQ(fake::machine().open_handle_count(), 0u);
    return result;
}

struct ListingCase {
    std::function<void()> arrange;
    std::string answer;
    std::string output;
    int32_t chosen;
};

void expect_listings(int32_t (*list)(), std::span<const ListingCase> cases) {
    for (const ListingCase& c : cases) {
        fake::reset();
        c.arrange();
        const Listing listing = run_listing(list, c.answer);
        EXPECT_EQ(listing.output, c.output) << "'" << c.answer << "'";
        EXPECT_EQ(listing.chosen, c.chosen) << "'" << c.answer << "'";
        EXPECT_EQ(listing.unread, "next line") << "exactly one line is read";
    }
}

// A physical drive whose geometry gives exactly mb decimal megabytes.
void add_physical(int n, MEDIA_TYPE media, int64_t mb) {
    add_drive(n, 0);
    DISK_GEOMETRY& geometry = fake::machine().geometries[n];
    geometry.Cylinders.QuadPart = mb;
    geometry.MediaType = media;
    geometry.TracksPerCylinder = 1000;
    geometry.SectorsPerTrack = 2;
    geometry.BytesPerSector = 500;
}

std::string physical_line(int k, int n, const char* size) {
    char line[64];
    std::snprintf(line, sizeof line, "%2d) \\\\.\\PHYSICALDRIVE%d %s\n", k, n, size);
    return line;
}

TEST(DriveDiscovery, PhysicalDrivesAreListedByRemovableMediaAndPickedByListNumber) {
    const auto two_drives = [] {
        add_physical(1, RemovableMedia, 999);
        add_physical(2, FixedMedia, 5000);
        add_physical(3, RemovableMedia, 1999);
        add_physical(4, RemovableMedia, 1000);
        fake::machine().drives[4].opens_for_write = false;  // cannot be opened for writing
        add_physical(5, RemovableMedia, 1000);
        fake::machine().geometries.erase(5);  // its geometry cannot be read
    };
    const std::string two_listed = HEADER + physical_line(1, 1, "999mb") +
                                   physical_line(2, 3, "1gb") +
                                   "\n\nSelect drive (1-2) or press ENTER to exit: ";
    const auto one_drive = [] { add_physical(12, RemovableMedia, 1000); };
    const std::string one_listed = HEADER + physical_line(1, 12, "1gb") + ASK_ONE;
    // What drives say they are, and the letters of the card's volumes; NT 4 asks neither.
    const auto described = [] {
        add_physical(2, RemovableMedia, 1000);
        fake::machine().drives[2].vendor = "SanDisk ";
        fake::machine().drives[2].product = " SDCFH-1024      ";
        fake::machine().mounted_volumes['E'] = {2, 0, 1000};
        fake::machine().mounted_volumes['F'] = {2, 1000, 1000};
        add_physical(3, RemovableMedia, 999);
        fake::machine().drives[3].vendor =
            "  Gen\x07r\x7F\xC3"
            "c ";  // BEL, DEL, a UTF-8 lead
    };
    const auto on_nt4 = [described] {
        described();
        set_windows(VER_PLATFORM_WIN32_NT, 4);
    };
    const std::string ask_two = "\n\nSelect drive (1-2) or press ENTER to exit: ";
    const std::string described_listed =
        std::string(HEADER) +
        " 1) \\\\.\\PHYSICALDRIVE2 1gb  SanDisk SDCFH-1024  E: F:\n"
        " 2) \\\\.\\PHYSICALDRIVE3 999mb  Gen?r??c\n" +
        ask_two;
    const std::string nt4_listed =
        HEADER + physical_line(1, 2, "1gb") + physical_line(2, 3, "999mb") + ask_two;
    const ListingCase cases[] = {
        {two_drives, "1", two_listed, 1},
        {two_drives, "2", two_listed, 3},
        {two_drives, "2nd", two_listed, 3},
        {two_drives, "  2", two_listed, 3},
        {two_drives, "+2", two_listed, 3},
        {two_drives, "0", two_listed + INVALID, NO_DRIVE},
        {two_drives, "3", two_listed + INVALID, NO_DRIVE},
        {two_drives, "-1", two_listed + INVALID, NO_DRIVE},
        {two_drives, "", two_listed + INVALID, NO_DRIVE},
        {two_drives, "two", two_listed + INVALID, NO_DRIVE},
        {two_drives, "99999999999999999999", two_listed + INVALID, NO_DRIVE},
        {two_drives, std::string(83, ' ') + "2", two_listed + INVALID, NO_DRIVE},
        {described, "1", described_listed, 2},
        {on_nt4, "2", nt4_listed, 3},
        {one_drive, "y", one_listed, 12},
        {one_drive, "Yes", one_listed, 12},
        {one_drive, "n", one_listed, NO_DRIVE},
        {one_drive, "", one_listed, NO_DRIVE},
        {one_drive, " y", one_listed, NO_DRIVE},
        {[] {}, "y", HEADER + std::string(NONE), NO_DRIVE},
        {[] { add_drive(3, SLOT_BYTES).opens_for_write = false; }, "",
         HEADER + std::string("         ** None **\nDisks can be opened only by an administrator: "
                              "run slotpush from an elevated Command Prompt.\n"),
         NO_DRIVE},
        {[] {
             add_drive(3, SLOT_BYTES).opens_for_write = false, fake::machine().every_right = true;
         },
         "", HEADER + std::string(NONE), NO_DRIVE},  // refused to one with every right already
    };
    expect_listings(list_drives_physical, cases);
    EXPECT_EQ(fake::machine().count("CreateFileA", "\\\\.\\PHYSICALDRIVE"), 16u)
        << "drives 0 to 15 are probed";
    fake::reset();
    add_physical(0, RemovableMedia, 1);
    feed_stdin("");  // end of input reads as an empty line
    int32_t chosen = 0;
    EXPECT_EQ(printed_by([&] { chosen = list_drives_physical(); }),
              HEADER + physical_line(1, 0, "1mb") + ASK_ONE);
    EXPECT_EQ(chosen, NO_DRIVE);
}

TEST(DriveDiscovery, ThePhysicalProbeOpensForWritingAndComputesTheSize) {
    fake::reset();
    add_physical(0, RemovableMedia, 0);
    DISK_GEOMETRY& geometry = fake::machine().geometries[0];
    geometry = {};
    geometry.Cylinders.QuadPart = 1000;
    geometry.TracksPerCylinder = 255;
    geometry.SectorsPerTrack = 63;
    geometry.BytesPerSector = 512;
    int64_t size_mb = -1;
    DISK_GEOMETRY reported{};
    EXPECT_EQ(probe_physical_drive("\\\\.\\PHYSICALDRIVE0", reported, size_mb), 0);
    EXPECT_EQ(size_mb, 8225);  // 1000 x 255 x 63 x 512 bytes
    EXPECT_EQ(fake::machine().find("CreateFileA")->args,
              (std::vector<uint64_t>{GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_SYSTEM}));
    EXPECT_EQ(fake::machine().find("DeviceIoControl")->args[0], IOCTL_DISK_GET_DRIVE_GEOMETRY);

    geometry.Cylinders.QuadPart = INT64_MAX / 2;  // absurd: saturates instead of overflowing
    EXPECT_EQ(probe_physical_drive("\\\\.\\PHYSICALDRIVE0", reported, size_mb), 0);
    EXPECT_EQ(size_mb, INT64_MAX / 1000000);

    size_mb = -1;
    EXPECT_EQ(probe_physical_drive("\\\\.\\PHYSICALDRIVE7", reported, size_mb), 1);
    EXPECT_EQ(size_mb, -1) << "untouched when the drive does not open";
    EXPECT_EQ(fake::machine().open_handle_count(), 0u);
}

// A volume the driver reports with this device type and 16-bit sector count.
void add_letter(char letter, uint16_t sectors, uint8_t type = 5) {
    fake::Volume& volume = fake::machine().volumes[letter];
    volume.device_type = type;
    volume.total_sectors = sectors;
}

TEST(DriveDiscovery, FixedDiskLettersFromDAreListedAndPickedByLetter) {
    const auto letters = [] {
        fake::machine().has_vwin32 = true;
        add_letter('A', 2880);
        add_letter('C', 60000);
        add_letter('E', 1953);
        add_letter('F', 1954);
        add_letter('G', 4000, 2);
        add_letter('H', 65535);
        add_letter('I', 0);
        add_letter('K', 3000);
    };
    const std::string listed =
        std::string(HEADER) + "E: 0mb\nF: 1mb\nH: 33mb\nI: 0mb\nK: 1mb\n" + ASK_LETTER;
    const auto one = [] {
        fake::machine().has_vwin32 = true;
        add_letter('D', 3906);
    };
    const ListingCase cases[] = {
        {letters, "e", listed, 4},
        {letters, "E", listed, 4},
        {letters, "eject", listed, 4},
        {letters, "k", listed, 10},
        {letters, "g", listed + INVALID, NO_DRIVE},
        {letters, "c", listed + INVALID, NO_DRIVE},
        {letters, "5", listed + INVALID, NO_DRIVE},
        {letters, "?", listed + INVALID, NO_DRIVE},
        {letters, "", listed + INVALID, NO_DRIVE},
        {letters, " e", listed + INVALID, NO_DRIVE},
        {one, "yes", HEADER + std::string("D: 1mb\n") + ASK_ONE, 3},
        {one, "N", HEADER + std::string("D: 1mb\n") + ASK_ONE, NO_DRIVE},
        {[] { add_letter('E', 100); }, "e", HEADER + std::string(NONE), NO_DRIVE},
        {[letters] {
             letters();
             fake::machine().fail_function("DeviceIoControl", 4);  // E: is the fifth letter
         },
         "f", HEADER + std::string("F: 1mb\nH: 33mb\nI: 0mb\nK: 1mb\n") + ASK_LETTER, 5},
    };
    expect_listings(list_drives_vwin32, cases);
    // Every letter is probed with its own open of the driver and one Get Device Parameters.
    fake::reset();
    letters();
    run_listing(list_drives_vwin32, "");
    ASSERT_EQ(fake::machine().count("DeviceIoControl"), 26u);
    for (size_t index = 0; index < 26; ++index) {
        const fake::Call* open = fake::machine().find("CreateFileA", index);
        EXPECT_EQ(open->target, "\\\\.\\VWIN32");
        EXPECT_EQ(open->args, (std::vector<uint64_t>{0, 0, 0, FILE_FLAG_DELETE_ON_CLOSE}));
        const std::vector<uint64_t>& r = fake::machine().find("DeviceIoControl", index)->args;
        // control code, EAX, EBX, ECX, (EDX: the block's address), ESI, EDI, flags
        EXPECT_EQ((std::vector<uint64_t>{r[0], r[1], r[2], r[3], r[7]}),
                  (std::vector<uint64_t>{1, 0x440D, index + 1, 0x0860, 1}));
    }
}

}  // namespace
