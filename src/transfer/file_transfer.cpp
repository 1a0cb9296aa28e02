#include "transfer/file_transfer.h"

#include <cstring>

#include "disk/file_export.h"
#include "disk/file_record.h"
#include "transfer/image_file.h"
#include "transfer/image_rules.h"
#include "transfer/volume_transfer.h"

namespace {

// The disk at place, loaded whole: a volume's 1600 sectors, or an image file as DIR reads it;
// present tells the bytes the disk holds, past which no file may lie.
Buffer load_disk(const DiskPlace& place, Outcome& outcome, size_t& present) {
    present = IMAGE_BYTES;
    if (place.file != nullptr) return prepare_image(place.file, outcome, &present);
    return read_volume_image(*place.card, place.volume, outcome);
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
Outcome save_under_own_name(GetRun& run, const DirectoryEntry& entry,
                            std::span<const uint8_t> bytes, SavedFile& saved, PcName& name) {
    const PcName own = pc_name_of(sector_of(run.disk, entry.sector).data(), entry.sector);
    Outcome outcome = failed(RESULT_CREATE_FAILED, ERROR_FILE_EXISTS);
    Renamed why = Renamed::taken;
    for (uint32_t n = 1; n <= MOST_FILES + 1; ++n) {
        name = n == 1 ? own : numbered(own, n);
        if (n > 1) name.renamed = why;
        if (run.taken.holds(name.text)) continue;
        if (n > 1 && file_exists(name.text)) continue;
        outcome = save_whole_file(name.text, bytes, run.guard);
        const auto about = outcome.about;
        if (about != Outcome::About::output_is_card && about != Outcome::About::output_is_source) {
            break;
        }
        why = Renamed::in_use;
    }
    saved.path = name.text;
    saved.renamed = name.renamed;
    return outcome;
}

// Takes one file off the disk and saves it; its line, or why it was not saved, is said at once.
Outcome save_file(GetRun& run, const DirectoryEntry& entry, uint8_t* bytes) {
    size_t length = 0;
    const std::span<uint8_t, MOST_FILE_BYTES> out{bytes, MOST_FILE_BYTES};
    if (const FileFault fault = export_file(run.disk, entry.sector, out, length);
        fault != FileFault::none) {
        Outcome damaged = failed(RESULT_NO_SOURCE, NO_ERROR, Outcome::About::file_damaged);
        damaged.fault = static_cast<uint8_t>(fault);
        run.lines.left(said_of_file(damaged, run.place, entry.name));
        return damaged;
    }
    SavedFile saved;
    std::memcpy(saved.name, entry.name, sizeof saved.name);
    const FileRecord record = decode_record(sector_of(run.disk, entry.sector));
    describe_type(record, saved.type);
    saved.sectors = record.allocated + 1;
    PcName name;
    Outcome written;
    if (run.request.path != nullptr) {
        saved.path = run.request.path;
        written = save_whole_file(run.request.path, {bytes, length}, run.guard);
    } else {
        written = save_under_own_name(run, entry, {bytes, length}, saved, name);
    }
    if (written.failed()) {
        run.lines.left(written);
        return written;
    }
    run.taken.add(saved.path);
    run.lines.saved(saved, run.place);
    return written;
}

// Whether GET of every file takes the entry: a file's, or a record whose name is not text.
bool is_taken_off(const DirectoryEntry& entry) {
    return entry.kind == DirectoryEntry::Kind::file ||
           entry.kind == DirectoryEntry::Kind::not_a_record;
}

// The outcome of a GET whose files have been said one by one.
Outcome said_already(int32_t status) {
    return failed(status, NO_ERROR, Outcome::About::listed);
}

}  // namespace

Outcome said_of_file(Outcome outcome, const DiskPlace& place, const char* name) {
    outcome.file_name = name;
    outcome.path = place.file;
    outcome.volume = place.volume;
    if (place.card != nullptr) outcome.card_name = place.card->shown;
    return outcome;
}

Outcome get_files(const DiskPlace& place, const GetRequest& request, const GetLines& lines,
                  GetDone& done) {
    done = {};
    Outcome outcome;
    size_t present = 0;
    const Buffer image = load_disk(place, outcome, present);
    if (!image) return outcome;
    outcome = {};
    const DiskBytes disk{image.get(), present};
    const Directory directory = read_directory(disk);
    Outcome missing = failed(RESULT_NO_SOURCE, NO_ERROR, Outcome::About::no_such_file);
    missing.holds = label_of(directory.disk);
    if (directory.disk.kind != VolumeSummary::Kind::disk) {
        return said_of_file(missing, place, request.name);
    }
    FileSearch search;
    if (request.name != nullptr) {
        search = find_file(disk, directory, request.name);
        std::memcpy(missing.other_name, search.other_case, sizeof search.other_case);
        if (search.kind != FileSearch::Kind::found) {
            return said_of_file(missing, place, request.name);
        }
    }
    const Buffer bytes = obtain<uint8_t>(MOST_FILE_BYTES);
    if (!bytes) return failed_with_last_error(RESULT_NO_SOURCE);
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
        outcome = save_file(run, entry, bytes.get());
        if (!outcome.failed()) {
            ++done.saved;
        } else if (request.name == nullptr) {
            ++done.left;
            if (status == RESULT_SUCCESS) status = RESULT_FILES_LEFT;
        }
    }
    if (request.name != nullptr) return outcome.failed() ? said_already(outcome.status) : outcome;
    if (status == RESULT_INTERRUPTED) {
        return failed(RESULT_INTERRUPTED, NO_ERROR, Outcome::About::interrupted);
    }
    return status == RESULT_SUCCESS ? succeeded() : said_already(status);
}
