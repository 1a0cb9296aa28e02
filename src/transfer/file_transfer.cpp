#include "transfer/file_transfer.h"

#include <cstring>

#include "disk/file_export.h"
#include "disk/file_record.h"
#include "transfer/fault_words.h"
#include "transfer/image_file.h"
#include "transfer/image_rules.h"
#include "transfer/volume_transfer.h"

namespace {

// The disk at place, loaded whole: a volume's 1600 sectors, or an image file as DIR reads it;
// present tells the bytes the disk holds, past which no file may lie.
Result load_disk(const DiskPlace& place, PreparedImage& disk) {
    disk.present = IMAGE_BYTES;
    if (place.file != nullptr) return prepare_image(place.file, disk);
    return read_volume_image(*place.card, place.volume, disk.bytes);
}

// The PC names this run has saved files under, none of which a later file may take.
class TakenNames {
  public:
    bool holds(const char* name) const {
        for (uint32_t i = 0; i < count_; ++i) {
            if (lstrcmpiA(names_[i], name) == 0) return true;  // as a PC's folder compares them
        }
        return false;
    }
    void add(const char* name) {
        if (count_ < MOST_FILES) std::memcpy(names_[count_++], name, PC_NAME_BYTES);
    }

  private:
    char names_[MOST_FILES][PC_NAME_BYTES] = {};
    uint32_t count_ = 0;
};

// One GET's disk and what it has saved so far.
struct GetRun {
    const DiskPlace& place;
    DiskBytes disk;
    const GetRequest& request;
    const GetLines& lines;
    SaveGuard guard;
    TakenNames taken;
};

// The file's PC name: its own where the request names none, a numbered one where that is taken
// by this run or by the disk read (the first that no file on the PC has); saves it there.
Result save_under_own_name(GetRun& run, const DirectoryEntry& entry, std::span<const uint8_t> bytes,
                           SavedFile& saved, PcName& name) {
    const PcName own = pc_name_of(sector_of(run.disk, entry.sector).data(), entry.sector);
    Renamed why = Renamed::taken;
    for (uint32_t n = 1; n <= MOST_FILES + 1; ++n) {
        name = n == 1 ? own : numbered(own, n);
        if (n > 1) name.renamed = why;
        if (run.taken.holds(name.text)) continue;
        if (n > 1 && file_exists(name.text)) continue;
        if (guards(run.guard, name.text)) {
            why = Renamed::in_use;
            continue;
        }
        saved.path = name.text;
        saved.renamed = name.renamed;
        return save_whole_file(name.text, bytes, run.guard);
    }
    return Failure::system(RESULT_CREATE_FAILED, ERROR_FILE_EXISTS,
                           file_called(OUTPUT_FILE, own.text).c_str());
}

// Takes one file off the disk and saves it; its line is said at once.
Result save_file(GetRun& run, const DirectoryEntry& entry, uint8_t* bytes) {
    size_t length = 0;
    const std::span<uint8_t, MOST_FILE_BYTES> out{bytes, MOST_FILE_BYTES};
    if (const FileFault fault = export_file(run.disk, entry.sector, out, length);
        fault != FileFault::none) {
        Text words("the file ");
        words.add(entry.name).add(" on ").add(place_words(run.place)).add(" cannot be read: ");
        return Failure(RESULT_NO_SOURCE, words.add(file_fault_words(fault)).add("."));
    }
    SavedFile saved;
    std::memcpy(saved.name, entry.name, sizeof saved.name);
    const FileRecord record = decode_record(sector_of(run.disk, entry.sector));
    describe_type(record, saved.type);
    saved.sectors = record.allocated + 1;
    PcName name;
    Result written;
    if (run.request.path != nullptr) {
        saved.path = run.request.path;
        written = save_whole_file(run.request.path, {bytes, length}, run.guard);
    } else {
        written = save_under_own_name(run, entry, {bytes, length}, saved, name);
    }
    if (written) return written;
    run.taken.add(saved.path);
    run.lines.saved(saved);
    return std::nullopt;
}

// Whether GET of every file takes the entry: a file's, or a record whose name is not text.
bool is_taken_off(const DirectoryEntry& entry) {
    return entry.kind == DirectoryEntry::Kind::file ||
           entry.kind == DirectoryEntry::Kind::not_a_record;
}

}  // namespace

Text place_words(const DiskPlace& place) {
    if (place.file != nullptr) return file_called(IMAGE_FILE, place.file);
    Text words("volume ");
    return words.number(place.volume).add(" on ").add(place.card->shown);
}

Failure no_such_file(int32_t status, const DiskPlace& place, const char* name,
                     const DiskLabel& holds, const char* other_case) {
    Text words;
    if (holds.kind != DiskLabel::Kind::disk) {
        words.add("There is no TI disk in ").add(place_words(place)).add(": it is ");
        return Failure::line(status, words.add(disk_text(holds)).add("."));
    }
    words.add("There is no file ").quoted(name).add(" on ").add(place_words(place));
    if (*other_case != '\0') words.add("; did you mean ").add(other_case).add("?");
    return Failure::line(status, other_case[0] != '\0' ? words : words.add("."));
}

Result read_directory_at(const DiskPlace& place, Directory& directory) {
    PreparedImage image;
    if (Result failed = load_disk(place, image)) return failed;
    directory = read_directory({image.bytes.get(), image.present});
    return std::nullopt;
}

Result get_files(const DiskPlace& place, const GetRequest& request, const GetLines& lines,
                 GetDone& done) {
    done = {};
    PreparedImage image;
    if (Result failed = load_disk(place, image)) return failed;
    const DiskBytes disk{image.bytes.get(), image.present};
    const Directory directory = read_directory(disk);
    const DiskLabel holds = label_of(directory.disk);
    if (directory.disk.kind != VolumeSummary::Kind::disk) {
        return no_such_file(RESULT_NO_SOURCE, place, request.name, holds);
    }
    FileSearch search;
    if (request.name != nullptr) {
        search = find_file(disk, directory, request.name);
        if (search.kind != FileSearch::Kind::found) {
            return no_such_file(RESULT_NO_SOURCE, place, request.name, holds, search.other_case);
        }
    }
    const Buffer bytes = obtain<uint8_t>(MOST_FILE_BYTES);
    if (!bytes) return last_error_failure(RESULT_NO_SOURCE);
    GetRun run{place, disk, request, lines, {}, {}};
    run.guard.card = place.card;
    if (place.file != nullptr) run.guard.source = identity_at(place.file);
    run.guard.may_replace = request.may_replace;
    int32_t status = RESULT_SUCCESS;
    for (uint32_t i = 0; i < directory.count; ++i) {
        const DirectoryEntry& entry = directory.entries[i];
        const bool wanted = request.name == nullptr ? is_taken_off(entry)
                                                    : entry.kind == DirectoryEntry::Kind::file &&
                                                          entry.sector == search.record;
        if (!wanted) continue;
        if (request.name == nullptr && interrupted()) {
            ++done.left;
            status = RESULT_INTERRUPTED;
            continue;
        }
        Result saved = save_file(run, entry, bytes.get());
        if (request.name != nullptr) return saved;
        if (!saved) {
            ++done.saved;
            continue;
        }
        lines.left(*saved);
        ++done.left;
        if (status == RESULT_SUCCESS) status = RESULT_FILES_LEFT;
    }
    if (status == RESULT_INTERRUPTED) return stopped_by_ctrl_c();
    return status == RESULT_SUCCESS ? Result() : Failure::said(status);
}
