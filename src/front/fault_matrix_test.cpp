// Every platform call of every kind of run, made to go wrong one at a time.
//
// Each scenario runs once as it should; its call log then generates one run per call with that
// call failing and, for reads and writes, one with it moving fewer bytes than asked. Every run
// must end with the status and outcome line that call's role gives, leave every byte of the
// card outside the target slot as it was, leave the slot whole or untouched, leave no partial
// FLASH file, and release every handle and buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "disk/disk_check.h"
#include "disk/file_export.h"
#include "testing/test_support.h"

namespace {

using namespace testing_support;

constexpr DWORD INJECTED = 4242;
constexpr uint32_t VOLUME = 3;
constexpr uint64_t SLOT_START = (VOLUME - 1) * uint64_t{SLOT_BYTES};
constexpr const char* CHOICE_FILE = "slotpCFG";
constexpr int TARGET_DRIVE = 2;      // NT: removable drives 1 and 2, the user picks 2
constexpr char CARD_VOLUME = 'E';    // NT: the FAT volume on the target card
constexpr char SYSTEM_VOLUME = 'C';  // NT: on drive 0, always in use
constexpr char TARGET_LETTER = 'E';  // 9x: fixed disks E: and F:, the user picks E:
constexpr uint8_t CARD_FILL = 0x5A;
constexpr const char* STORE = "state";  // the fake machine's folder for the user's state

enum class Transfer { sector_dump, track_dump, read_back };

struct Scenario {
    const char* name;
    bool nine_x;
    bool stored;  // the drive comes from the drive-choice file
    Transfer transfer;
};

const Scenario SCENARIOS[] = {
    {"NT, stored, sector dump", false, true, Transfer::sector_dump},
    {"NT, stored, track dump", false, true, Transfer::track_dump},
    {"NT, stored, read back", false, true, Transfer::read_back},
    {"NT, chosen, sector dump", false, false, Transfer::sector_dump},
    {"NT, chosen, track dump", false, false, Transfer::track_dump},
    {"NT, chosen, read back", false, false, Transfer::read_back},
    {"9x, chosen, sector dump", true, false, Transfer::sector_dump},
    {"9x, chosen, track dump", true, false, Transfer::track_dump},
    {"9x, chosen, read back", true, false, Transfer::read_back},
};

const std::vector<uint8_t> IMAGE = sector_dump(720, 184320);
const std::vector<uint8_t> OLD_FLASH = {'o', 'l', 'd'};  // a read-back replaces it, or keeps it
const std::vector<uint8_t> SLOT_BEFORE = [] {
    std::vector<uint8_t> raw(SLOT_BYTES);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i % 241);
    return raw;
}();

// The card behind the scenario: the target drive or volume, and the others beside it.
fake::Drive& card(const Scenario& s) {
    return s.nine_x ? fake::machine().volumes[TARGET_LETTER].sectors
                    : fake::machine().drives[TARGET_DRIVE];
}

void set_up(const Scenario& s) {
    fake::reset();
    fake::Machine& m = fake::machine();
    // NT 10 refuses raw writes into a mounted volume that is not locked.
    set_windows(s.nine_x ? VER_PLATFORM_WIN32_WINDOWS : VER_PLATFORM_WIN32_NT, s.nine_x ? 4 : 10,
                s.nine_x ? 10 : 0);
    m.registry["SYSTEM\\CurrentControlSet\\Control\\ProductOptions"]["ProductType"] = {
        'W', 'i', 'n', 'N', 'T', 0};
    for (int n : {0, 1, 2}) {
        add_drive(n, 8 * uint64_t{SLOT_BYTES}, CARD_FILL);
        DISK_GEOMETRY& g = m.geometries[n];
        g.Cylinders.QuadPart = 400;
        g.MediaType = n == 0 ? FixedMedia : RemovableMedia;
        g.TracksPerCylinder = 64;
        g.SectorsPerTrack = 32;
        g.BytesPerSector = 512;
    }
    m.mounted_volumes[SYSTEM_VOLUME] = {0, 2048 * 512, 7 * uint64_t{SLOT_BYTES}, true};
    m.mounted_volumes[CARD_VOLUME] = {TARGET_DRIVE, 2048 * 512, 7 * uint64_t{SLOT_BYTES}};
    m.has_vwin32 = s.nine_x;
    for (char letter : {'C', 'E', 'F'}) {
        fake::Volume& volume = m.volumes[letter];
        volume.total_sectors = 60000;
        volume.sectors.size = 8 * uint64_t{SLOT_BYTES};
        volume.sectors.fill = CARD_FILL;
    }
    card(s).write(SLOT_START, SLOT_BEFORE.data(), SLOT_BEFORE.size());
    if (s.stored) m.files[CHOICE_FILE] = drive_choice_bytes(TARGET_DRIVE);
    m.files["disk.dsk"] = IMAGE;
    m.files["track.dsk"] = track_dump_of(IMAGE);
    m.files["FLASH"] = OLD_FLASH;
}

ToolRun run(const Scenario& s) {
    const char* image = s.transfer == Transfer::sector_dump  ? "disk.dsk"
                        : s.transfer == Transfer::track_dump ? "track.dsk"
                                                             : "FLASH";
    const std::string answer = s.stored ? "" : s.nine_x ? "e\n" : "2\n";
    return run_slotpush({"slotpush", image, std::to_string(VOLUME)}, answer);
}

// Walks the successful run's log and gives, for each call, the status the run must end with
// when that call goes wrong (or, when short is set, moves fewer bytes than asked).
class Oracle {
  public:
    Oracle(const Scenario& s, const std::vector<fake::Call>& log) : s_(s) {
        size_t vwin32_opens = 0;
        size_t probes = 0;
        size_t pages = 0;
        bool transfer = false;
        bool looking = false;    // at the card before a write, through a reader of its own
        bool labelling = false;  // claimed, reading what the volume held
        bool keeping = false;    // claimed, keeping what the volume held for UNDO
        saving_ = Saving::not_yet;
        for (size_t at = 0; at < log.size(); ++at) {
            const fake::Call& call = log[at];
            // A write of the card places itself first: that move is the write's.
            const bool places_write = at + 1 < log.size() && call.function == "SetFilePointer" &&
                                      log[at + 1].function == "WriteFile" &&
                                      log[at + 1].target == call.target;
            if (call.target == "FLASH" && call.function == "CreateFileA") saving_ = Saving::looking;
            if (call.target.starts_with("FLASH.") && call.function == "CreateFileA") {
                saving_ = Saving::writing;
            }
            const bool vwin32 = call.target == "\\\\.\\VWIN32" || call.target == "\\\\.\\vwin32";
            const bool card =
                call.target == "\\\\.\\PHYSICALDRIVE2" || call.target == "\\\\.\\vwin32";
            // The card's reader (the listing's probes open it for writing) starts a read-back,
            // and before a write looks at what the card says: the system's reports follow.
            const bool card_reader = call.function == "CreateFileA" && card &&
                                     (call.args[0] == GENERIC_READ || call.args[0] == 0) &&
                                     (call.args[3] & FILE_FLAG_NO_BUFFERING) == 0;
            transfer = transfer || call.target == "disk.dsk" || call.target == "track.dsk" ||
                       card_reader || call.target == "\\\\.\\vwin32";
            looking = looking || (card_reader && s.transfer != Transfer::read_back);
            if (call.function == "CreateFileA" && call.target == "\\\\.\\VWIN32") ++vwin32_opens;
            if (call.function == "DeviceIoControl" && vwin32 && !transfer) ++probes;
            // After the look, the first pages are the slot's, made before anything is claimed.
            const bool slot_pages = !looking && transfer && call.function == "VirtualAlloc" &&
                                    s.transfer != Transfer::read_back && pages++ == 0;
            // 9x: a sector request whose ESI asks a write, read back with no flush between.
            const bool writes_9x = vwin32 && call.function == "DeviceIoControl" &&
                                   call.args.size() > 5 && call.args[1] == 0x7305 &&
                                   call.args[5] == 0x4001;
            if (card && (call.function == "WriteFile" || writes_9x)) {
                step_ = Step::write;
                next_ = writes_9x ? Step::read_back : Step::write;
            } else if (card && call.function == "FlushFileBuffers") {
                step_ = Step::flush;
                next_ = Step::read_back;
            } else {
                step_ = next_;
            }
            // What the write will replace is kept from the record's making to the card's first
            // write: the store's calls, and the card's reads for it, have roles of their own.
            const bool store = call.target.starts_with(STORE);
            keeping = keeping || (store && call.function == "CreateFileA" &&
                                  (call.args[0] & GENERIC_WRITE) != 0);
            keeping = keeping && !(card && (places_write || writes_9x));
            expected_.push_back(
                store                                                  ? store_role(call)
                : keeping && (card || call.function == "VirtualAlloc") ? keep_role(call)
                : looking || labelling                                 ? Expected{0, true}
                : slot_pages ? Expected{RESULT_NO_SOURCE, true}
                : transfer   ? in_transfer(call)
                             : Expected{before_transfer(call, vwin32_opens, probes), false});
            looking = looking && !(call.function == "CloseHandle" && card);
            // Once claimed, what the volume held is read into a page of its own; where it cannot
            // be, the line says less.
            labelling = labelling && call.function != "VirtualFree";
            const bool locks = call.function == "DeviceIoControl" && vwin32 && transfer &&
                               call.args.size() > 3 && (call.args[3] & 0xFF) == 0x4A;
            labelling = labelling || (call.function == "claim_for_writing" && !s.nine_x) ||
                        (locks && s.nine_x);
        }
    }
    // The exit status, whether the transfer ran and so reports its outcome, what the outcome
    // line names before the reason, and the reason when it is not the failing call's own.
    struct Expected {
        int status;
        bool transferred;
        std::string detail = "";
        std::optional<DWORD> reason = std::nullopt;
    };
    Expected at(size_t index) const { return expected_[index]; }

  private:
    // The step of a write that a call of the card belongs to: the write itself, its flush, or
    // the read-back that checks it; a failure's line names it.
    enum class Step { write, flush, read_back } step_ = Step::write, next_ = Step::write;

    // Where a read-back's save stands: not begun, looking at the FLASH there, writing a new one.
    enum class Saving { not_yet, looking, writing } saving_ = Saving::not_yet;

    // The save of a read-back: a failure before the new file is written leaves it unmade (4),
    // one after it leaves the old FLASH (8); what only informs the look (which file FLASH is,
    // may it be written) changes nothing where it cannot be told.
    Expected saving_role(const fake::Call& call) const {
        const std::string& f = call.function;
        const std::string flash = "the output file 'FLASH': ";
        // The new file's close is its last write; the old one's only lets it go.
        if ((f == "CloseHandle" && call.target == "FLASH") || f == "LocalFree" ||
            f == "DeleteFileA") {
            return {0, true};
        }
        if (f == "GetFileType") {
            return {4, true,
                    "the output file 'FLASH' is a device, not a file; nothing was written.",
                    NO_ERROR};
        }
        if (f == "GetFileInformationByHandle" || f == "GetFileAttributesA" ||
            f == "DeviceIoControl") {
            return {0, true};
        }
        if (saving_ == Saving::looking ||
            (f == "CreateFileA" && call.target.starts_with("FLASH."))) {
            return {4, true, flash};
        }
        return {8, true, flash};
    }

    // The store of what changes replace: the record cannot be made (4) or written (8), and
    // nothing is written to the card; looking for the records there, or letting the oldest go,
    // changes nothing where it cannot be done.
    static Expected store_role(const fake::Call& call) {
        const std::string& f = call.function;
        const std::string record =
            "the undo record '" + call.target + "' (--no-undo makes a change without one): ";
        if (f == "CreateDirectoryA") {
            return {RESULT_CREATE_FAILED, true,
                    "the folder for UNDO 'state' (--no-undo makes a change without it): "};
        }
        if (f == "CreateFileA" && (call.args[0] & GENERIC_WRITE) != 0) {
            return {RESULT_CREATE_FAILED, true, record};
        }
        if (f == "WriteFile" || f == "FlushFileBuffers") return {RESULT_SAVE_FAILED, true, record};
        return {0, true};
    }

    // The card read for what the write will replace, or the page that read needs.
    Expected keep_role(const fake::Call& call) const {
        const std::string& f = call.function;
        if (f == "VirtualFree" || f == "CloseHandle") return {0, true};
        if (f == "VirtualAlloc") return {RESULT_NO_SOURCE, true};
        const std::string card = s_.nine_x ? "E:" : "\\\\.\\PHYSICALDRIVE2";
        return {RESULT_NO_SOURCE, true,
                "volume 3 on " + card + ": what it held could not be read to be kept for UNDO: "};
    }

    // The drive-choice file, the banner and the listing: only losing the stored drive or a
    // listed candidate changes the run, and then no drive is chosen.
    int before_transfer(const fake::Call& call, size_t vwin32_opens, size_t probes) const {
        const std::string& f = call.function;
        if (f == "CloseHandle" || f == "LocalFree" || f == "RegCloseKey") return 0;
        if (call.target == CHOICE_FILE || f == "LocalAlloc") return s_.stored ? -1 : 0;
        if (s_.nine_x) {
            // Probes of E: and F: (the fifth and sixth letters) make the list.
            const size_t letter = (f == "CreateFileA" ? vwin32_opens : probes) - 1;
            const bool candidate = letter == 4 || letter == 5;
            return (f == "CreateFileA" || f == "DeviceIoControl") && candidate ? -1 : 0;
        }
        // A candidate's model only adds to its line; without its geometry it is not listed.
        const bool candidate =
            call.target == "\\\\.\\PHYSICALDRIVE1" || call.target == "\\\\.\\PHYSICALDRIVE2";
        const bool needed = f == "CreateFileA" || (f == "DeviceIoControl" &&
                                                   call.args[0] == IOCTL_DISK_GET_DRIVE_GEOMETRY);
        return needed && candidate ? -1 : 0;
    }

    Expected in_transfer(const fake::Call& call) const {
        if (saving_ != Saving::not_yet) return saving_role(call);
        if (call.target.size() == 6 && call.target.ends_with(':')) return volume_role(call);
        const int status = transfer_status(call);
        return {status, true, status == 0 ? "" : subject(call)};
    }

    // What the outcome line names before the reason: the file, the card or its volume, and the
    // step of a write that failed.
    std::string subject(const fake::Call& call) const {
        const std::string& f = call.function;
        const std::string card = s_.nine_x ? "E:" : "\\\\.\\PHYSICALDRIVE2";
        if (call.target == "disk.dsk" || call.target == "track.dsk") {
            return "the image file '" + call.target + "': ";
        }
        const bool reading = s_.transfer == Transfer::read_back;
        const bool checking = step_ == Step::read_back;
        if (f == "LocalAlloc" || (f == "VirtualAlloc" && !checking)) return "";
        const bool opens = f == "CreateFileA" || f == "claim_for_writing" ||
                           (s_.nine_x && f == "DeviceIoControl" && call.args[3] != 0xFFFFFFFF);
        if (opens) {
            return card + (reading                    ? ": "
                           : f == "claim_for_writing" ? ": it could not be claimed: "
                                                      : ": it did not open for writing: ");
        }
        const std::string volume = "volume " + std::to_string(VOLUME) + " on " + card + ": ";
        if (reading) return volume;
        return volume + (step_ == Step::write   ? "the write failed: "
                         : step_ == Step::flush ? "the flush after the write failed: "
                                                : "the read-back after the write failed: ");
    }

    // The volumes of the drive letters, asked about before a write. A letter that does not
    // open or answer is passed over, and then NT 10 refuses the write into the card's volume; a
    // refused lock is asked again; a refused dismount stops the write.
    Expected volume_role(const fake::Call& call) const {
        const bool card = call.target[4] == CARD_VOLUME;
        const bool asks_device = call.function == "CreateFileA" ||
                                 (call.function == "DeviceIoControl" &&
                                  call.args[0] == IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS);
        if (card && asks_device) {
            return {RESULT_WRITE_FAILED, true,
                    "volume 3 on \\\\.\\PHYSICALDRIVE2: the write failed: ", ERROR_ACCESS_DENIED};
        }
        if (card && call.function == "DeviceIoControl" && call.args[0] == FSCTL_DISMOUNT_VOLUME) {
            return {RESULT_WRITE_FAILED, true,
                    "Volume E: on \\\\.\\PHYSICALDRIVE2 could not be locked: "};
        }
        return {0, true};
    }

    int transfer_status(const fake::Call& call) const {
        const std::string& f = call.function;
        const bool reading = s_.transfer == Transfer::read_back;
        if (f == "CloseHandle" || f == "LocalFree" || f == "VirtualFree") return 0;
        // The card's size is asked before it is touched: where it does not answer, the system
        // reports what then fails.
        if (f == "DeviceIoControl" && call.args[0] == IOCTL_DISK_GET_LENGTH_INFO) return 0;
        if (f == "LocalAlloc") return RESULT_NO_SOURCE;
        if (call.target == "disk.dsk" || call.target == "track.dsk") return RESULT_NO_SOURCE;
        if (reading) return RESULT_NO_SOURCE;  // the slot could not be read
        if (call.target == "\\\\.\\vwin32") {
            if (f == "CreateFileA") return RESULT_DRIVE_NOT_OPENED;
            const uint64_t ecx = call.args[3];
            return ecx == 0xFFFFFFFF ? RESULT_WRITE_FAILED
                                     : 0;  // a refused lock or unlock is asked again
        }
        if (f == "DeviceIoControl") return 0;  // re-reading the layout is only advice
        // Opening the drive to write it, or to read the slot back past the cache.
        if (f == "CreateFileA" && (call.args[0] & GENERIC_WRITE) != 0) {
            return RESULT_DRIVE_NOT_OPENED;
        }
        return RESULT_WRITE_FAILED;  // everything else fails the write or its check
    }

    const Scenario& s_;
    std::vector<Expected> expected_;
};

// The image the slot must hold after a successful write.
std::vector<uint8_t> written_slot() {
    std::vector<uint8_t> raw(SLOT_BYTES);
    const std::vector<uint8_t> image = normalised(IMAGE);
    for (size_t k = 0; k < IMAGE_BYTES; ++k) {
        raw[2 * k] = image[k];
        raw[2 * k + 1] = FILL_BYTE;
    }
    return raw;
}

std::vector<uint8_t> read_back_image() {
    std::vector<uint8_t> image(IMAGE_BYTES);
    for (size_t k = 0; k < IMAGE_BYTES; ++k) image[k] = SLOT_BEFORE[2 * k];
    return image;
}

void expect_card_state(const Scenario& s, int status, bool short_write, const std::string& what) {
    const std::vector<uint8_t> slot = card(s).bytes(SLOT_START, SLOT_BYTES);
    const auto range = card(s).written_range();
    EXPECT_GE(range->first, SLOT_START) << what;
    EXPECT_LT(range->second, SLOT_START + SLOT_BYTES) << what;
    for (const auto& [n, drive] : fake::machine().drives) {
        if (s.nine_x || n != TARGET_DRIVE) {
            EXPECT_FALSE(drive.written_range()) << "drive " << n << ", " << what;
        }
    }
    for (const auto& [letter, volume] : fake::machine().volumes) {
        if (!s.nine_x || letter != TARGET_LETTER) {
            EXPECT_FALSE(volume.sectors.written_range()) << letter << ":, " << what;
        }
    }
    if (s.transfer == Transfer::read_back) {
        EXPECT_EQ(slot, SLOT_BEFORE) << "reading changes nothing, " << what;
        const auto flash = fake::machine().files.find("FLASH");
        ASSERT_NE(flash, fake::machine().files.end()) << what;
        EXPECT_EQ(flash->second, status == 0 ? read_back_image() : OLD_FLASH)
            << "FLASH is the new file or the old one, whole, " << what;
        for (const auto& [name, bytes] : fake::machine().files) {
            EXPECT_TRUE(!name.starts_with("FLASH.") || name.ends_with(".old"))
                << "nothing half-made left beside FLASH: " << name << ", " << what;
        }
    } else if (!short_write) {
        // A write that was made but could not be checked leaves the slot whole.
        EXPECT_TRUE(slot == written_slot() || (status != 0 && slot == SLOT_BEFORE))
            << "the slot is whole or untouched, " << what;
    }
}

TEST(FaultMatrix, EveryCallGoingWrongEndsAsItsRoleSaysAndLosesNothing) {
    size_t runs = 0;
    for (const Scenario& s : SCENARIOS) {
        set_up(s);
        const ToolRun good = run(s);
        ASSERT_EQ(good.status, 0) << s.name << "\n" << good.output;
        const std::vector<fake::Call> log = fake::machine().log;
        const Oracle oracle(s, log);
        for (size_t index = 0; index < log.size(); ++index) {
            const std::string& function = log[index].function;
            const bool transfers = function == "ReadFile" || function == "WriteFile";
            for (const bool short_count : {false, true}) {
                if (short_count && !transfers) continue;
                const std::string what = std::string(s.name) + ", call " + std::to_string(index) +
                                         " " + function + " " + log[index].target +
                                         (short_count ? " short" : " failing");
                set_up(s);
                fake::machine().fail_call(
                    index, short_count ? fake::Fault{0, 3} : fake::Fault{INJECTED, std::nullopt});
                const ToolRun outcome = run(s);
                ++runs;
                const auto [expected, transferred, detail, own_reason] = oracle.at(index);
                EXPECT_EQ(outcome.status, expected) << what << "\n" << outcome.output;
                const DWORD reason = own_reason               ? *own_reason
                                     : !short_count           ? INJECTED
                                     : function == "ReadFile" ? ERROR_HANDLE_EOF
                                                              : ERROR_DISK_FULL;
                // A reason of NO_ERROR: the detail is the whole line, with no system text.
                const std::string tail = expected == 0 ? "slotpull succeeded.\n"
                                         : reason == NO_ERROR
                                             ? "slotpull failed: " + detail + "\n"
                                             : "slotpull failed: " + detail + "text of error " +
                                                   std::to_string(reason) + "\n";
                if (!transferred && expected != 0) {
                    EXPECT_EQ(outcome.output.find("slotpull"), std::string::npos) << what;
                } else {
                    EXPECT_TRUE(outcome.output.ends_with(tail)) << what << "\n" << outcome.output;
                }
                const bool short_write = short_count && function == "WriteFile";
                expect_card_state(s, outcome.status, short_write, what);
                EXPECT_EQ(fake::machine().open_handle_count(), 0u) << what;
                EXPECT_EQ(fake::machine().allocation_count(), 0u) << what;
            }
        }
    }
    std::printf("fault matrix: %zu scenarios, %zu runs\n", std::size(SCENARIOS), runs);
}

// The disk in the target slot, its filler bytes dropped.
std::vector<uint8_t> volume_disk(const Scenario& s) {
    const std::vector<uint8_t> raw = card(s).bytes(SLOT_START, SLOT_BYTES);
    std::vector<uint8_t> disk(IMAGE_BYTES);
    for (size_t k = 0; k < disk.size(); ++k) disk[k] = raw[2 * k];
    return disk;
}

// The TIFILES bytes of the file called name, or none where it does not read whole.
std::vector<uint8_t> exported(const std::vector<uint8_t>& disk, const char* name) {
    const Directory directory = read_directory(disk);
    const FileSearch search = find_file(disk, directory, name);
    std::vector<uint8_t> out(MOST_FILE_BYTES);
    size_t length = 0;
    if (search.kind != FileSearch::Kind::found ||
        export_file(disk, search.record, std::span<uint8_t, MOST_FILE_BYTES>{out}, length) !=
            FileFault::none) {
        return {};
    }
    out.resize(length);
    return out;
}

// A card pulled during a PUT (whose file lands in five runs) or a DEL, cut at each of its
// writes in turn: every other file still reads whole and no file shares a sector with another.
TEST(FaultMatrix, AChangeCutAtAnyWriteLeavesTheOtherFilesWhole) {
    const Scenario& s = SCENARIOS[0];
    std::vector<uint8_t> files = disk_with_files({{"LOAD", 0x01, 0, 2}, {"OLD", 0x80, 80, 3}});
    for (size_t byte = 56 + 34 / 8; byte < 56 + 48 / 8; ++byte) files[byte] = 0xAA;
    std::vector<uint8_t> tifiles(128 + 5 * 256, 0x61);
    std::memcpy(tifiles.data(), "\x07TIFILES\0\x05\x01\0\0\0\0\0NEW       ", 26);
    std::fill_n(tifiles.begin() + 26, 102, 0);
    for (const char* command : {"PUT", "DEL"}) {
        const std::vector<std::string> line = {"slotpush", command, "3",
                                               command[0] == 'P' ? "new.tfi" : "OLD"};
        const char* kept = command[0] == 'P' ? "OLD" : "LOAD";
        std::vector<uint8_t> before;
        const auto prepare = [&] {  // the disk in volume 3; the count of writes so far
            set_up(s);
            fake::machine().files["files.dsk"] = files;
            fake::machine().files["new.tfi"] = tifiles;
            EXPECT_EQ(run_slotpush({"slotpush", "files.dsk", "3"}).status, 0);
            before = volume_disk(s);
            return fake::machine().count("WriteFile");
        };
        size_t written = prepare();
        ASSERT_EQ(run_slotpush(line).status, 0);
        const size_t cuts = fake::machine().count("WriteFile") - written;
        const fake::Machine good = fake::machine();
        for (size_t cut = 0; cut < cuts; ++cut) {
            written = prepare();
            fake::machine().fail_function("WriteFile", written + cut);
            const std::string what = std::string(command) + " cut at write " + std::to_string(cut);
            // A cut while its record is kept stops the change before the card is written.
            const bool keeping = good.find("WriteFile", written + cut)->target.starts_with(STORE);
            EXPECT_EQ(run_slotpush(line).status, keeping ? RESULT_SAVE_FAILED : RESULT_WRITE_FAILED)
                << what;
            const std::vector<uint8_t> after = volume_disk(s);
            if (keeping) {
                EXPECT_EQ(after, before) << what;
            }
            EXPECT_EQ(check_disk(after).fault, FileFault::none) << what;
            EXPECT_EQ(exported(after, kept), exported(before, kept)) << what;
            EXPECT_FALSE(exported(after, kept).empty()) << what;
            // UNDO then puts the volume back whole; where the record was cut, none is left.
            fake::machine().clear_faults();
            if (keeping) {
                EXPECT_FALSE(fake::machine().files.contains("state/00000002.undo")) << what;
                continue;
            }
            EXPECT_EQ(run_slotpush({"slotpush", "UNDO"}).status, 0) << what;
            EXPECT_EQ(volume_disk(s), before) << what << ", then UNDO";
        }
        EXPECT_GE(cuts, command[0] == 'P' ? 8u : 2u) << command << ": each write a cut";
    }
}

// A run of three images into volumes 2 to 4, cut at each volume's write in turn: the volumes
// before it hold what the whole run gives them, the ones after it what they held, and the last
// line says which were written.
TEST(FaultMatrix, ARunOfManyVolumesCutPartWayKeepsWhatItWrote) {
    const Scenario& s = SCENARIOS[0];
    const std::vector<std::string> line = {"slotpush", "disk.dsk", "track.dsk", "disk.dsk", "2"};
    const auto slots = [&] { return card(s).bytes(SLOT_BYTES, 3 * SLOT_BYTES); };
    set_up(s);
    ASSERT_EQ(run_slotpush(line).status, 0);
    const std::vector<uint8_t> whole = slots();
    const fake::Machine good = fake::machine();
    const char* const stops[] = {"No volume was written (2 to 4).\n",
                                 "Volume 2 was written; 3 to 4 were not.\n",
                                 "Volumes 2 to 3 were written; 4 was not.\n"};
    // The card's writes among the run's writes, which include its record's.
    std::vector<size_t> card_writes;
    for (size_t n = 0; const fake::Call* write = good.find("WriteFile", n); ++n) {
        if (!write->target.starts_with(STORE)) card_writes.push_back(n);
    }
    ASSERT_EQ(card_writes.size(), 3u);
    // Cut at each write, or stopped by a Ctrl-C once the first or second volume is under way;
    // then UNDO takes back the volumes it reached.
    for (size_t cut = 0; cut < 5; ++cut) {
        const bool ctrl_c = cut >= 3;
        set_up(s);
        const std::vector<uint8_t> before = slots();
        if (ctrl_c) {
            const fake::Call* write = good.find("WriteFile", card_writes[cut - 3]);
            fake::machine().interrupt_at = write - good.log.data() + 1;
        } else {
            fake::machine().fail_function("WriteFile", card_writes[cut], {INJECTED, std::nullopt});
        }
        const ToolRun outcome = run_slotpush(line);
        EXPECT_EQ(outcome.status, ctrl_c ? RESULT_INTERRUPTED : RESULT_WRITE_FAILED) << cut;
        const size_t written = ctrl_c ? cut - 2 : cut;
        EXPECT_TRUE(outcome.output.ends_with((ctrl_c ? "Stopped by Ctrl-C.\n" : "") +
                                             std::string(stops[written])))
            << outcome.output;
        const std::vector<uint8_t> after = slots();
        const size_t kept = written * SLOT_BYTES;
        EXPECT_TRUE(std::equal(after.begin(), after.begin() + kept, whole.begin())) << cut;
        EXPECT_TRUE(std::equal(after.begin() + kept, after.end(), before.begin() + kept)) << cut;
        fake::machine().clear_faults();
        fake::machine().interrupt_at.reset();
        const ToolRun undone = run_slotpush({"slotpush", "UNDO"});
        EXPECT_EQ(undone.status, 0) << undone.output;
        EXPECT_EQ(std::count(undone.output.begin(), undone.output.end(), '\n'), written + 1)
            << "a line for each volume put back, " << undone.output;
        EXPECT_EQ(slots(), before) << "UNDO after cut " << cut;
    }
}

}  // namespace
