#include "transfer/file_change.h"

#include <cstring>
#include <optional>

#include "device/card_claim.h"
#include "disk/disk_change.h"
#include "disk/disk_check.h"
#include "disk/file_export.h"
#include "disk/tifiles.h"
#include "transfer/fault_words.h"
#include "transfer/file_choice.h"
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
    return Failure(RESULT_CHANGE_REFUSED, words.add(disk_fault_words(found)).add("."));
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
    ChangedSector order[IMAGE_SECTORS + 1];
    const uint32_t count = change.write_order(order);
    return write_volume_sectors(*loaded.card, place.volume, {loaded.bytes.get(), IMAGE_BYTES},
                                {order, count});
}

}  // namespace

Failure change_refused(const Text& words) {
    return Failure(RESULT_CHANGE_REFUSED, words);
}

Failure cannot_change(const DiskPlace& place, ChangeFault fault, const char* name, const char* path,
                      uint32_t free, uint32_t needed) {
    Text file(name);
    if (path != nullptr) file.add(" (from ").quoted(path).add(")");
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
    return change_refused(words);
}

void describe_file(const FileRecord& file, SavedFile& line) {
    show_name(file.name, line.name);
    describe_type(file, line.type);
    line.sectors = file.allocated + 1;
}

Result change_disk(const DiskPlace& place, ChangeBuild build, FileLine on_done, ChangeDone& done) {
    LoadedDisk loaded;
    if (Result failed = load_for_change(place, loaded)) return failed;
    const std::span<uint8_t> disk = loaded.sectors();
    if (Result refused = check_for_change(place, disk)) return refused;
    const Owned<ChangedFiles> changed = obtain<ChangedFiles>(1);
    if (!changed) return last_error_failure(RESULT_NO_SOURCE);
    const Directory directory = read_directory(disk);
    DiskChange change(disk);
    if (Result refused = build(disk, directory, change, changed[0])) return refused;
    if (Result failed = write_change(place, loaded, change)) return failed;
    for (uint32_t i = 0; i < changed[0].count; ++i) on_done(changed[0].files[i]);
    done = {changed[0].count, change.free_sectors(), loaded.track_dump};
    return std::nullopt;
}

Result delete_files(const DiskPlace& place, const char* const* names, uint32_t count,
                    FileLine on_deleted, ChangeDone& done) {
    const auto build = [&](DiskBytes disk, const Directory& directory, DiskChange& change,
                           ChangedFiles& changed) -> Result {
        ChosenFiles chosen;
        if (Result refused =
                choose_files(place, disk, directory, names, count, RESULT_CHANGE_REFUSED, chosen)) {
            return refused;
        }
        for (uint32_t i = 0; i < chosen.count; ++i) {
            SavedFile& line = changed.files[changed.count++];
            describe_file(decode_record(sector_of(disk, chosen.records[i])), line);
            if (change.remove(chosen.records[i]) != ChangeFault::none) {
                return cannot_change(place, ChangeFault::is_protected, line.name, nullptr);
            }
        }
        return std::nullopt;
    };
    return change_disk(place, build, on_deleted, done);
}

Result protect_files(const DiskPlace& place, const char* const* names, uint32_t count, bool protect,
                     FileLine on_done, ChangeDone& done) {
    const auto build = [&](DiskBytes disk, const Directory& directory, DiskChange& change,
                           ChangedFiles& changed) -> Result {
        ChosenFiles chosen;
        if (Result refused =
                choose_files(place, disk, directory, names, count, RESULT_CHANGE_REFUSED, chosen)) {
            return refused;
        }
        for (uint32_t i = 0; i < chosen.count; ++i) {
            describe_file(decode_record(sector_of(disk, chosen.records[i])),
                          changed.files[changed.count++]);
            change.protect(chosen.records[i], protect);
        }
        return std::nullopt;
    };
    return change_disk(place, build, on_done, done);
}

Result rename_file(const DiskPlace& place, const char* old, const uint8_t (&name)[TI_NAME_BYTES],
                   FileLine on_renamed, ChangeDone& done) {
    const auto build = [&](DiskBytes disk, const Directory& directory, DiskChange& change,
                           ChangedFiles& changed) -> Result {
        ChosenFiles chosen;
        if (Result refused =
                choose_files(place, disk, directory, &old, 1, RESULT_CHANGE_REFUSED, chosen)) {
            return refused;
        }
        SavedFile& line = changed.files[changed.count++];
        describe_file(decode_record(sector_of(disk, chosen.records[0])), line);
        std::memcpy(line.was, line.name, sizeof line.name);
        show_name(name, line.name);
        if (change.rename(chosen.records[0], name) != ChangeFault::none) {
            return cannot_change(place, ChangeFault::name_taken, line.name, nullptr);
        }
        return std::nullopt;
    };
    return change_disk(place, build, on_renamed, done);
}
