#include "transfer/file_change.h"

#include <cstring>
#include <optional>

#include "device/card_claim.h"
#include "disk/disk_change.h"
#include "disk/disk_check.h"
#include "disk/file_export.h"
#include "disk/tifiles.h"
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

Outcome load_volume_for_change(const DiskPlace& place, LoadedDisk& loaded) {
    loaded.bytes = obtain<uint8_t>(IMAGE_BYTES);
    loaded.length = IMAGE_BYTES;
    if (!loaded.bytes) return failed_with_last_error(RESULT_NO_SOURCE);
    CardClaim& claim = loaded.card.emplace(*place.card);
    if (Outcome refused = claim_card(*place.card, place.volume, claim); refused.failed()) {
        return refused;
    }
    return read_claimed_records(claim, place.volume, loaded.bytes.get());
}

Outcome load_for_change(const DiskPlace& place, LoadedDisk& loaded) {
    if (place.file == nullptr) return load_volume_for_change(place, loaded);
    if (Outcome refused = loaded.image.take(place.file); refused.failed()) return refused;
    Outcome outcome;
    loaded.bytes =
        load_from(loaded.image.handle(), place.file, IMAGE_BYTES, loaded.length, outcome);
    if (!loaded.bytes) return outcome;
    if (!is_track_dump(ConstImageView{loaded.bytes.get(), IMAGE_BYTES})) return succeeded();
    loaded.bytes = convert_track_dump(ConstImageView{loaded.bytes.get(), IMAGE_BYTES});
    if (!loaded.bytes) return failed_with_last_error(RESULT_NO_SOURCE);
    loaded.length = size_t{TRACK_DUMP_SECTORS} * IMAGE_SECTOR_BYTES;
    loaded.track_dump = true;
    return succeeded();
}

// A refusal of the change; nothing has been written.
Outcome refused(Outcome::About about, const DiskPlace& place, const char* name) {
    return said_of_file(failed(RESULT_CHANGE_REFUSED, NO_ERROR, about), place, name);
}

// A disk is changed only where it holds a TI disk whose files each lie on sectors of their own.
Outcome check_for_change(const DiskPlace& place, DiskBytes disk) {
    const Directory directory = read_directory(disk);
    if (directory.disk.kind != VolumeSummary::Kind::disk) {
        Outcome missing = refused(Outcome::About::no_such_file, place, nullptr);
        missing.holds = label_of(directory.disk);
        return missing;
    }
    const DiskFault found = check_disk(disk);
    if (found.fault == FileFault::none) return succeeded();
    Outcome damaged = refused(Outcome::About::disk_damaged, place, nullptr);
    damaged.fault = static_cast<uint8_t>(found.fault);
    damaged.entry = found.entry;
    damaged.sector = found.sector;
    show_name(found.name, damaged.ti_name);
    return damaged;
}

// The sectors the change touched go back: into the volume's slot in the change's steps, or as a
// whole new image file.
Outcome write_change(const DiskPlace& place, LoadedDisk& loaded, const DiskChange& change) {
    if (place.file != nullptr) {
        const auto release = [&] { loaded.image.release(); };
        const FunctionRef<void()> let_go(release);
        SaveGuard guard;
        guard.card = place.card;
        guard.where = Outcome::Where::image_file;
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

// Reads the PC file at path and adds it to the change; saved tells what was added.
Outcome add_pc_file(const DiskPlace& place, DiskChange& change, const char* path,
                    SavedFile& saved) {
    Outcome outcome;
    size_t length = 0;
    const Buffer bytes =
        load_file(path, MOST_FILE_BYTES, length, outcome, Outcome::Where::input_file);
    if (!bytes && outcome.status != RESULT_IMAGE_TOO_LARGE) return outcome;
    const TiFileRead read = read_ti_file({bytes.get(), bytes ? length : 0});
    if (read.body.data() == nullptr) {
        Outcome not_one = refused(Outcome::About::not_a_ti_file, place, path);
        not_one.fault = static_cast<uint8_t>(read.form);
        not_one.sectors_needed = read.file.allocated;
        return not_one;
    }
    FileRecord file = read.file;
    bool valid = read.named;
    if (!valid) name_of_pc_file(path, file.name, valid);
    if (!valid) return refused(Outcome::About::no_valid_name, place, path);
    show_name(file.name, saved.name);
    const uint32_t free = change.free_sectors();
    if (const ChangeFault fault = change.add(file, read.body); fault != ChangeFault::none) {
        Outcome cannot = refused(Outcome::About::change_refused, place, path);
        cannot.fault = static_cast<uint8_t>(fault);
        std::memcpy(cannot.ti_name, saved.name, sizeof saved.name);
        cannot.sectors_free = free;
        cannot.sectors_needed = file.allocated + 1;
        return cannot;
    }
    describe_type(file, saved.type);
    saved.sectors = file.allocated + 1;
    saved.path = path;
    return succeeded();
}

// The files a DEL has taken off the disk so far, and the disk's directory as it was.
struct Deletion {
    Directory directory;
    bool read = false;
    uint32_t records[MOST_FILES] = {};
    uint32_t count = 0;
};

// Takes the file called name off the disk; saved tells which it was.
Outcome delete_named(const DiskPlace& place, DiskBytes disk, DiskChange& change, Deletion& deletion,
                     const char* name, SavedFile& saved) {
    if (!deletion.read) deletion.directory = read_directory(disk);
    deletion.read = true;
    const FileSearch search = find_file(disk, deletion.directory, name);
    bool again = false;  // named twice: the second finds it gone
    for (uint32_t k = 0; k < deletion.count; ++k)
        again = again || deletion.records[k] == search.record;
    if (search.kind != FileSearch::Kind::found || again) {
        Outcome missing = refused(Outcome::About::no_such_file, place, name);
        missing.holds.kind = DiskLabel::Kind::disk;
        std::memcpy(missing.other_name, search.other_case, sizeof search.other_case);
        return missing;
    }
    const FileRecord file = decode_record(sector_of(disk, search.record));
    show_name(file.name, saved.name);
    if (change.remove(search.record) != ChangeFault::none) {
        Outcome kept = refused(Outcome::About::change_refused, place, name);
        kept.fault = static_cast<uint8_t>(ChangeFault::is_protected);
        std::memcpy(kept.ti_name, saved.name, sizeof saved.name);
        return kept;
    }
    deletion.records[deletion.count++] = search.record;
    describe_type(file, saved.type);
    saved.sectors = file.allocated + 1;
    return succeeded();
}

// Loads the disk at place and checks it; build then changes it in memory, one file at a time
// (telling which in saved), and only a change built whole is written and its files said.
template <typename Build>
Outcome change_disk(const DiskPlace& place, uint32_t count, FileSaved on_done, ChangeDone& done,
                    Build build) {
    LoadedDisk loaded;
    Outcome outcome = load_for_change(place, loaded);
    if (outcome.failed()) return outcome;
    const std::span<uint8_t> disk = loaded.sectors();
    if (outcome = check_for_change(place, disk); outcome.failed()) return outcome;
    const Owned<SavedFile> files = obtain<SavedFile>(count);
    if (!files) return failed_with_last_error(RESULT_NO_SOURCE);
    DiskChange change(disk);
    for (uint32_t i = 0; i < count; ++i) {
        if (outcome = build(disk, change, i, files[i]); outcome.failed()) return outcome;
    }
    if (outcome = write_change(place, loaded, change); outcome.failed()) return outcome;
    for (uint32_t i = 0; i < count; ++i) on_done(files[i], place);
    done = {count, change.free_sectors(), loaded.track_dump};
    return outcome;
}

}  // namespace

Outcome put_files(const DiskPlace& place, char* const* paths, uint32_t count, FileSaved on_put,
                  ChangeDone& done) {
    return change_disk(place, count, on_put, done,
                       [&](DiskBytes, DiskChange& change, uint32_t i, SavedFile& saved) {
                           return add_pc_file(place, change, paths[i], saved);
                       });
}

Outcome delete_files(const DiskPlace& place, char* const* names, uint32_t count,
                     FileSaved on_deleted, ChangeDone& done) {
    Deletion deletion;
    return change_disk(place, count, on_deleted, done,
                       [&](DiskBytes disk, DiskChange& change, uint32_t i, SavedFile& saved) {
                           return delete_named(place, disk, change, deletion, names[i], saved);
                       });
}
