#include "transfer/file_change.h"

#include <cstring>
#include <optional>

#include "device/card_claim.h"
#include "disk/disk_change.h"
#include "disk/disk_check.h"
#include "disk/file_export.h"
#include "disk/tifiles.h"
#include "transfer/fault_words.h"
#include "transfer/file_save.h"
#include "transfer/image_file.h"
#include "transfer/image_rules.h"
#include "transfer/volume_change.h"
#include "transfer/volume_transfer.h"

namespace {

// A disk loaded to be changed, under its claim, held until the change is written: of a volume
// what its catalogue needs (its first 34 sectors and its records, read through the card's
// claim), or an image file as it is (a track dump as its sector dump), not widened: it goes back
// at its own size.
struct LoadedDisk {
    Buffer bytes;  // IMAGE_BYTES
    size_t length = 0;
    bool track_dump = false;
    std::optional<CardClaim> card;
    ImageClaim image;

    std::span<uint8_t> sectors() const {
        return {bytes.get(), length / IMAGE_SECTOR_BYTES * IMAGE_SECTOR_BYTES};
    }
};

Result load_volume_for_change(const DiskPlace& place, LoadedDisk& loaded) {
    loaded.bytes = obtain<uint8_t>(IMAGE_BYTES);
    loaded.length = IMAGE_BYTES;
    if (!loaded.bytes) return last_error_failure(RESULT_NO_SOURCE);
    CardClaim& claim = loaded.card.emplace(*place.card);
    if (Result refused = claim_card(*place.card, place.volume, claim)) return refused;
    return read_claimed_records(claim, place.volume, loaded.bytes.get());
}

Result load_for_change(const DiskPlace& place, LoadedDisk& loaded) {
    if (place.file == nullptr) return load_volume_for_change(place, loaded);
    if (Result refused = loaded.image.take(place.file)) return refused;
    LoadedFile file;
    if (Result failed = load_from(loaded.image.handle(), place.file, IMAGE_BYTES, file)) {
        return failed;
    }
    loaded.bytes = std::move(file.bytes);
    loaded.length = file.length;
    if (!is_track_dump(ConstImageView{loaded.bytes.get(), IMAGE_BYTES})) return std::nullopt;
    loaded.bytes = convert_track_dump(ConstImageView{loaded.bytes.get(), IMAGE_BYTES});
    if (!loaded.bytes) return last_error_failure(RESULT_NO_SOURCE);
    loaded.length = size_t{TRACK_DUMP_SECTORS} * IMAGE_SECTOR_BYTES;
    loaded.track_dump = true;
    return std::nullopt;
}

// A refusal of the change, in words; nothing has been written.
Failure refused(const Text& words) {
    return Failure(RESULT_CHANGE_REFUSED, words);
}

// A disk is changed only where it holds a TI disk whose files each lie on sectors of their own.
Result check_for_change(const DiskPlace& place, DiskBytes disk) {
    const Directory directory = read_directory(disk);
    if (directory.disk.kind != VolumeSummary::Kind::disk) {
        return no_such_file(RESULT_CHANGE_REFUSED, place, nullptr, label_of(directory.disk));
    }
    const DiskFault found = check_disk(disk);
    if (found.fault == FileFault::none) return std::nullopt;
    Text words("the disk in ");
    words.add(place_words(place)).add(" is damaged, so it is not changed: ");
    return refused(words.add(disk_fault_words(found)).add("."));
}

// The sectors the change touched go back: into the volume's slot in the change's steps, or as a
// whole new image file.
Result write_change(const DiskPlace& place, LoadedDisk& loaded, const DiskChange& change) {
    if (place.file != nullptr) {
        const auto release = [&] { loaded.image.release(); };
        const FunctionRef<void()> let_go(release);
        SaveGuard guard;
        guard.card = place.card;
        guard.called = IMAGE_FILE;
        guard.let_go = &let_go;
        return save_whole_file(place.file, {loaded.bytes.get(), loaded.length}, guard);
    }
    ChangedSector order[IMAGE_SECTORS];
    const uint32_t count = change.write_order(order);
    return write_volume_sectors(*loaded.card, place.volume, {loaded.bytes.get(), IMAGE_BYTES},
                                {order, count});
}

// The file's name on the PC, without its folder and its extension.
void name_of_pc_file(const char* path, uint8_t (&name)[TI_NAME_BYTES], bool& valid) {
    const char* base = path;
    for (const char* c = path; *c != '\0'; ++c) {
        if (*c == '/' || *c == '\\' || *c == ':') base = c + 1;
    }
    const char* dot = nullptr;
    for (const char* c = base + 1; *base != '\0' && *c != '\0'; ++c) {
        if (*c == '.') dot = c;
    }
    const size_t length = dot != nullptr ? static_cast<size_t>(dot - base) : std::strlen(base);
    valid = pad_name(base, length, name) && valid_file_name(name);
}

// Why the PC file at path is no TI file PUT can take.
Failure not_a_ti_file(const char* path, const TiFileRead& read) {
    Text words;
    words.quoted(path);
    if (read.form == TiFileRead::Form::cut_short) {
        words.add(" is not a whole TIFILES file: its header says ").number(read.file.allocated);
        return refused(words.add(" sectors, which it does not hold."));
    }
    return refused(
        words.add(" is not a TI file: neither a TIFILES file nor a descriptor record "
                  "and its sectors."));
}

// Why the file called name (from the PC file path) cannot be put, by ChangeFault; free and
// needed in sectors.
Failure cannot_put(const DiskPlace& place, ChangeFault fault, const char* name, const char* path,
                   uint32_t free, uint32_t needed) {
    Text file(name);
    file.add(" (from ").quoted(path).add(")");
    Text words;
    switch (fault) {
        case ChangeFault::name_taken:
            words.add(file).add(" is on ").add(place_words(place)).add(" already; DEL it first.");
            break;
        case ChangeFault::disk_full:
            words.add(file).add(" needs ").number(needed).add(" sectors; ");
            words.add(place_words(place)).add(" has ").number(free).add(" free.");
            break;
        case ChangeFault::index_full:
            words.add("the index of ").add(place_words(place)).add(" holds ").number(MOST_FILES);
            words.add(" files, all it can; ").add(file).add(" was not put.");
            break;
        case ChangeFault::too_many_runs:
            words.add("the free sectors of ").add(place_words(place)).add(" lie in more than ");
            words.number(MOST_RUNS).add(" runs, more than a file can take; ").add(file);
            words.add(" was not put.");
            break;
        case ChangeFault::is_protected:
        case ChangeFault::none:
            words.add(name).add(" on ").add(place_words(place));
            words.add(" is protected, and the TI deletes no protected file.");
            break;
    }
    return refused(words);
}

// Reads the PC file at path and adds it to the change; saved tells what was added.
Result add_pc_file(const DiskPlace& place, DiskChange& change, const char* path, SavedFile& saved) {
    LoadedFile loaded;
    Result failed = load_file(path, MOST_FILE_BYTES, loaded, INPUT_FILE);
    if (failed && failed->status() != RESULT_IMAGE_TOO_LARGE) return failed;
    const TiFileRead read = read_ti_file({loaded.bytes.get(), failed ? 0 : loaded.length});
    if (read.body.data() == nullptr) return not_a_ti_file(path, read);
    FileRecord file = read.file;
    bool valid = read.named;
    if (!valid) name_of_pc_file(path, file.name, valid);
    if (!valid) {
        Text words;
        words.quoted(path).add(" gives no valid TI name, neither in its header nor as its file ");
        return refused(words.add("name ").add(TI_NAME_RULE).add("."));
    }
    show_name(file.name, saved.name);
    const uint32_t free = change.free_sectors();
    if (const ChangeFault fault = change.add(file, read.body); fault != ChangeFault::none) {
        return cannot_put(place, fault, saved.name, path, free, file.allocated + 1);
    }
    describe_type(file, saved.type);
    saved.sectors = file.allocated + 1;
    saved.path = path;
    return std::nullopt;
}

// The files a DEL has taken off the disk so far, and the disk's directory as it was.
struct Deletion {
    Directory directory;
    bool read = false;
    uint32_t records[MOST_FILES] = {};
    uint32_t count = 0;
};

// Takes the file called name off the disk; saved tells which it was.
Result delete_named(const DiskPlace& place, DiskBytes disk, DiskChange& change, Deletion& deletion,
                    const char* name, SavedFile& saved) {
    if (!deletion.read) deletion.directory = read_directory(disk);
    deletion.read = true;
    const FileSearch search = find_file(disk, deletion.directory, name);
    bool again = false;  // named twice: the second finds it gone
    for (uint32_t k = 0; k < deletion.count; ++k)
        again = again || deletion.records[k] == search.record;
    if (search.kind != FileSearch::Kind::found || again) {
        DiskLabel holds;
        holds.kind = DiskLabel::Kind::disk;
        return no_such_file(RESULT_CHANGE_REFUSED, place, name, holds, search.other_case);
    }
    const FileRecord file = decode_record(sector_of(disk, search.record));
    show_name(file.name, saved.name);
    if (change.remove(search.record) != ChangeFault::none) {
        return cannot_put(place, ChangeFault::is_protected, saved.name, name, 0, 0);
    }
    deletion.records[deletion.count++] = search.record;
    describe_type(file, saved.type);
    saved.sectors = file.allocated + 1;
    return std::nullopt;
}

// Loads the disk at place and checks it; build then changes it in memory, one file at a time
// (telling which in saved), and only a change built whole is written and its files said.
using FileBuild =
    FunctionRef<Result(DiskBytes disk, DiskChange& change, uint32_t i, SavedFile& saved)>;

Result change_disk(const DiskPlace& place, uint32_t count, FileLine on_done, ChangeDone& done,
                   FileBuild build) {
    LoadedDisk loaded;
    if (Result failed = load_for_change(place, loaded)) return failed;
    const std::span<uint8_t> disk = loaded.sectors();
    if (Result refused = check_for_change(place, disk)) return refused;
    const Owned<SavedFile> files = obtain<SavedFile>(count);
    if (!files) return last_error_failure(RESULT_NO_SOURCE);
    DiskChange change(disk);
    for (uint32_t i = 0; i < count; ++i) {
        if (Result refused = build(disk, change, i, files[i])) return refused;
    }
    if (Result failed = write_change(place, loaded, change)) return failed;
    for (uint32_t i = 0; i < count; ++i) on_done(files[i]);
    done = {count, change.free_sectors(), loaded.track_dump};
    return std::nullopt;
}

}  // namespace

Result put_files(const DiskPlace& place, const char* const* paths, uint32_t count, FileLine on_put,
                 ChangeDone& done) {
    return change_disk(place, count, on_put, done,
                       [&](DiskBytes, DiskChange& change, uint32_t i, SavedFile& saved) {
                           return add_pc_file(place, change, paths[i], saved);
                       });
}

Result delete_files(const DiskPlace& place, const char* const* names, uint32_t count,
                    FileLine on_deleted, ChangeDone& done) {
    Deletion deletion;
    return change_disk(place, count, on_deleted, done,
                       [&](DiskBytes disk, DiskChange& change, uint32_t i, SavedFile& saved) {
                           return delete_named(place, disk, change, deletion, names[i], saved);
                       });
}
