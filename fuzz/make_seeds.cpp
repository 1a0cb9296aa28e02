// Writes each fuzz target's seed corpus: a few inputs of every kind the tool meets.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/undo_card.h"
#include "slotpush.h"
#include "testing/images.h"

namespace {

namespace fs = std::filesystem;
using testing_support::drive_choice_bytes;
using testing_support::sector_dump;

void seed(const fs::path& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> text(const std::string& s) {
    return {s.begin(), s.end()};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const fs::path root = argv[1];
    const std::vector<uint8_t> full = sector_dump(1600, IMAGE_BYTES);
    std::vector<uint8_t> single_sided = testing_support::track_dump_of(sector_dump(360, 184320));
    single_sided.resize(130120);
    seed(root / "image_rules", "sector_dump_360", sector_dump(360, 92160));
    seed(root / "image_rules", "sector_dump_full", full);
    seed(root / "image_rules", "track_dump",
         testing_support::track_dump_of(sector_dump(720, 184320)));
    seed(root / "image_rules", "track_dump_single_sided", single_sided);
    seed(root / "image_rules", "odd_total", sector_dump(361, 92416));
    seed(root / "image_rules", "empty", {});
    for (const char* answer : {"2\n", "e\n", "yes\n", "\n", "  +3x\r\nmore", "-1\n"}) {
        seed(root / "answer", "answer_" + std::to_string(answer[0]), text(answer));
    }
    seed(root / "answer", "long_line", text(std::string(100, '7') + "\n2\n"));
    for (const char* volume : {"5", "0005", "", "4294967295", "4294967296", "5a", "-5"}) {
        seed(root / "volume_number", std::string("volume_") + volume, text(volume));
    }
    std::freopen("/dev/null", "w", stdout);  // the seed write's own lines
    undo_card::written(true);                // a record as a write keeps it, and a torn one
    const std::vector<uint8_t> record = fake::machine().files[undo_card::RECORD];
    seed(root / "undo_record", "whole", record);
    seed(root / "undo_record", "torn", {record.begin(), record.begin() + record.size() / 2});
    seed(root / "drive_choice", "drive_3", drive_choice_bytes(3));
    seed(root / "drive_choice", "drive_minus_1", drive_choice_bytes(-1));
    seed(root / "drive_choice", "three_bytes", {3, 0, 0});
    seed(root / "drive_choice", "eight_bytes", {3, 0, 0, 0, 9, 9, 9, 9});
    seed(root / "disk_directory", "every_type",
         testing_support::disk_with_files({{"LOAD", 0x01, 0, 33},
                                           {"README", 0x00, 80, 5},
                                           {"NOTES", 0x80, 80, 4},
                                           {"SCORES", 0x02, 128, 2},
                                           {"LOG", 0x8A, 254, 3}}));
    seed(root / "disk_directory", "sector_dump_360", sector_dump(360, 92160));
    // A 3-sector TIFILES file, then a disk with room for it.
    std::vector<uint8_t> put = {0x03, 0x80, 0x07, 'T', 'I', 'F', 'I', 'L', 'E', 'S', 0, 3, 1};
    put.resize(2 + 128 + 3 * 256, 0x41);
    const std::vector<uint8_t> disk = testing_support::disk_with_files({{"LOAD", 0x01, 0, 3}});
    put.insert(put.end(), disk.begin(), disk.end());
    seed(root / "disk_change", "put_onto_a_disk", put);
    seed(root / "file_contents", "listing",
         text("10 REM X\n20 CALL CLEAR :: PRINT \"A\";B$\n30 IF A<>1 THEN 10 ELSE 20\n"
              "40 ON A GOTO 10,20 ! NOTE\n50 DATA 1,2.5E-3,TWO WORDS\n60 GO TO 10\n"));
    seed(root / "file_contents", "text", text("ONE\r\nTWO\rTHREE\nFOUR"));
    const uint8_t program[] = {0x00, 0x09, 0x37, 0xCA, 0x37, 0xC3, 0x37, 0xD7, 0x00, 0x14,
                               0x37, 0xCC, 0x00, 0x0A, 0x37, 0xD2, 0x05, 0x86, 0xC9, 0x00,
                               0x0A, 0x00, 0x06, 0x9C, 0xC7, 0x02, 'H',  'I',  0x00};
    seed(root / "file_contents", "program", {std::begin(program), std::end(program)});
    return 0;
}
