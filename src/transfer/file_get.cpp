#include "transfer/file_get.h"

#include <cstring>

#include "disk/file_export.h"
#include "disk/file_record.h"
#include "disk/name_pattern.h"
#include "disk/tifiles.h"
#include "transfer/fault_words.h"
#include "transfer/file_change.h"
#include "transfer/file_choice.h"
#include "transfer/file_contents.h"
#include "transfer/folder_entries.h"
#include "transfer/image_file.h"
#include "transfer/image_rules.h"

namespace {

// The suffix a file saved as text takes after its own name.
constexpr char TEXT_SUFFIX[] = ".txt";
constexpr char LISTING_SUFFIX[] = ".bas";
constexpr size_t OWN_NAME_BYTES = PC_NAME_BYTES + sizeof TEXT_SUFFIX - 1;

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
        if (count_ < MOST_FILES) put_text(names_[count_++], last_part(name));
    }

  private:
    char names_[MOST_FILES][OWN_NAME_BYTES] = {};
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
    const char* folder = nullptr;  // where names of their own go; nullptr: the current folder
    Owned<char> path;              // a file's whole path there
};

// What a file gives the PC: its TIFILES bytes, or its text, and what its own name ends in.
struct Taken {
    std::span<const uint8_t> bytes;
    TextMade text;
    const char* suffix = "";
};

// The file whose entry is given, as the request takes it off: its line's name, type and size.
Result take_off(GetRun& run, const DirectoryEntry& entry, uint8_t* buffer, Taken& taken,
                SavedFile& saved) {
    size_t length = 0;
    const std::span<uint8_t, MOST_FILE_BYTES> out{buffer, MOST_FILE_BYTES};
    Text named("the file ");
    named.add(entry.name).add(" on ").add(place_words(run.place));
    if (const FileFault fault = export_file(run.disk, entry.sector, out, length);
        fault != FileFault::none) {
        return Failure(RESULT_NO_SOURCE,
                       named.add(" cannot be read: ").add(file_fault_words(fault)).add("."));
    }
    const FileRecord record = decode_record(sector_of(run.disk, entry.sector));
    describe_file(record, saved);
    std::memcpy(saved.name, entry.name, sizeof saved.name);
    taken.bytes = {buffer, length};
    if (!run.request.text) return std::nullopt;
    const TiFileRead read = read_ti_file(taken.bytes);
    const bool console =
        std::strcmp(run.request.path != nullptr ? run.request.path : "", CONSOLE) == 0;
    if (Result refused = file_as_text(read.file, read.body, console ? "\n" : native_line_end(),
                                      named, taken.text)) {
        return refused;
    }
    taken.bytes = {taken.text.bytes.get(), taken.text.length};
    taken.suffix = taken.text.listing ? LISTING_SUFFIX : TEXT_SUFFIX;
    saved.lines = taken.text.lines;
    saved.listing = taken.text.listing;
    return std::nullopt;
}

// The file's PC name: its own, and its suffix, a numbered one where that is taken by this run
// or by the disk read (the first that no file on the PC has), in the run's folder; saves it
// there.
Result save_under_own_name(GetRun& run, const DirectoryEntry& entry, const Taken& taken,
                           SavedFile& saved) {
    const PcName own = pc_name_of(sector_of(run.disk, entry.sector).data(), entry.sector);
    Renamed why = Renamed::taken;
    char base[OWN_NAME_BYTES] = {};
    for (uint32_t n = 1; n <= MOST_FILES + 1; ++n) {
        PcName name = n == 1 ? own : numbered(own, n);
        if (n > 1) name.renamed = why;
        put_text(put_text(base, name.text), taken.suffix);
        char* path = run.path.get();
        if (run.folder != nullptr) {
            path_in(run.folder, base, path);
        } else {
            put_text(path, base);
        }
        if (run.taken.holds(base)) continue;
        if (n > 1 && file_exists(path)) continue;
        if (guards(run.guard, path)) {
            why = Renamed::in_use;
            continue;
        }
        saved.path = path;
        saved.renamed = name.renamed;
        return save_whole_file(path, taken.bytes, run.guard);
    }
    return Failure::system(RESULT_CREATE_FAILED, ERROR_FILE_EXISTS,
                           file_called(OUTPUT_FILE, base).c_str());
}

// Takes one file off the disk and saves it, or shows it on the console; its line is said at
// once.
Result save_file(GetRun& run, const DirectoryEntry& entry, uint8_t* buffer) {
    SavedFile saved;
    Taken taken;
    if (Result refused = take_off(run, entry, buffer, taken, saved)) return refused;
    const char* path = run.request.path;
    if (run.request.text && path != nullptr && std::strcmp(path, CONSOLE) == 0) {
        run.lines.console(taken.bytes);
        return std::nullopt;
    }
    Result written;
    if (path != nullptr && run.folder == nullptr) {
        saved.path = path;
        written = save_whole_file(path, taken.bytes, run.guard);
    } else {
        written = save_under_own_name(run, entry, taken, saved);
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

bool is_folder(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The entries GET takes: every file's where no name is asked for, else the ones it chooses.
Result choose_entries(const GetRun& run, const Directory& directory, bool (&wanted)[MOST_FILES],
                      uint32_t& count) {
    count = 0;
    ChosenFiles chosen;
    if (run.request.name != nullptr) {
        if (Result refused = choose_files(run.place, run.disk, directory, &run.request.name, 1,
                                          RESULT_NO_SOURCE, chosen)) {
            return refused;
        }
    }
    for (uint32_t i = 0; i < directory.count; ++i) {
        const DirectoryEntry& entry = directory.entries[i];
        wanted[i] = run.request.name == nullptr && is_taken_off(entry);
        for (uint32_t k = 0; k < chosen.count; ++k) {
            wanted[i] = wanted[i] || (entry.kind == DirectoryEntry::Kind::file &&
                                      entry.sector == chosen.records[k]);
        }
        count += wanted[i] ? 1 : 0;
    }
    return std::nullopt;
}

}  // namespace

Result get_files(const DiskPlace& place, const GetRequest& request, const GetLines& lines,
                 GetDone& done) {
    done = {};
    PreparedImage image;
    if (Result failed = load_disk(place, image)) return failed;
    const DiskBytes disk{image.bytes.get(), image.present};
    const Directory directory = read_directory(disk);
    if (directory.disk.kind != VolumeSummary::Kind::disk) {
        return no_such_file(RESULT_NO_SOURCE, place, request.name, label_of(directory.disk));
    }
    const Buffer bytes = obtain<uint8_t>(MOST_FILE_BYTES);
    const size_t path_bytes = (request.path != nullptr ? std::strlen(request.path) : 0) + MAX_PATH;
    GetRun run{place, disk, request, lines, {}, {}, nullptr, obtain<char>(path_bytes)};
    if (!bytes || !run.path) return last_error_failure(RESULT_NO_SOURCE);
    run.guard.card = place.card;
    if (place.file != nullptr) run.guard.source = identity_at(place.file);
    run.guard.may_replace = request.may_replace;
    if (request.path != nullptr && is_folder(request.path)) run.folder = request.path;
    bool wanted[MOST_FILES] = {};
    uint32_t count = 0;
    if (Result refused = choose_entries(run, directory, wanted, count)) return refused;
    const bool one = request.name != nullptr && !has_wildcards(request.name);
    const bool console =
        request.text && request.path != nullptr && std::strcmp(request.path, CONSOLE) == 0;
    if (!one && count > 1 && request.path != nullptr && run.folder == nullptr && !console) {
        Text words;
        words.quoted(request.path).add(" is not a folder, and ").number(count);
        words.add(" files match ").quoted(request.name).add("; name a folder for them.");
        return Failure(STATUS_REFUSED, words);
    }
    int32_t status = RESULT_SUCCESS;
    for (uint32_t i = 0; i < directory.count; ++i) {
        if (!wanted[i]) continue;
        if (!one && interrupted()) {
            ++done.left;
            status = RESULT_INTERRUPTED;
            continue;
        }
        Result saved = save_file(run, directory.entries[i], bytes.get());
        if (one) return saved;
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

Result type_file(const DiskPlace& place, const char* name, const TypeLines& lines) {
    PreparedImage image;
    if (Result failed = load_disk(place, image)) return failed;
    const DiskBytes disk{image.bytes.get(), image.present};
    const Directory directory = read_directory(disk);
    if (directory.disk.kind != VolumeSummary::Kind::disk) {
        return no_such_file(RESULT_NO_SOURCE, place, name, label_of(directory.disk));
    }
    ChosenFiles chosen;
    if (Result refused = choose_files(place, disk, directory, &name, 1, RESULT_NO_SOURCE, chosen)) {
        return refused;
    }
    if (chosen.count > 1) {
        Text words;
        words.quoted(name).add(" matches ").number(chosen.count).add(" files; TYPE shows one.");
        return Failure(STATUS_REFUSED, words);
    }
    const Buffer bytes = obtain<uint8_t>(MOST_FILE_BYTES);
    if (!bytes) return last_error_failure(RESULT_NO_SOURCE);
    size_t length = 0;
    const std::span<uint8_t, MOST_FILE_BYTES> out{bytes.get(), MOST_FILE_BYTES};
    char shown[TI_NAME_BYTES + 1] = {};
    show_name(sector_of(disk, chosen.records[0]).data(), shown);
    Text named("the file ");
    named.add(shown).add(" on ").add(place_words(place));
    if (const FileFault fault = export_file(disk, chosen.records[0], out, length);
        fault != FileFault::none) {
        return Failure(RESULT_NO_SOURCE,
                       named.add(" cannot be read: ").add(file_fault_words(fault)).add("."));
    }
    const TiFileRead read = read_ti_file({bytes.get(), length});
    TextMade text;
    if (!file_as_text(read.file, read.body, "\n", named, text)) {
        lines.text({text.bytes.get(), text.length});
    } else if ((read.file.flags & file_flags::PROGRAM) != 0) {
        lines.dump(program_bytes(read.file, read.body));
    } else {
        lines.dump(read.body);
    }
    return std::nullopt;
}
