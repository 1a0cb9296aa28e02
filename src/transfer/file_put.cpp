#include "transfer/file_put.h"

#include <cctype>
#include <cstring>

#include "disk/file_export.h"
#include "disk/tifiles.h"
#include "transfer/fault_words.h"
#include "transfer/file_choice.h"
#include "transfer/file_contents.h"
#include "transfer/file_save.h"
#include "transfer/folder_entries.h"
#include "transfer/image_file.h"
#include "transfer/image_rules.h"

namespace {

// The PC file's name without its folder and its extension, upper-cased where asked: true where
// it makes a valid TI name.
bool name_of_pc_file(const char* path, bool upper, uint8_t (&name)[TI_NAME_BYTES]) {
    const char* base = last_part(path);
    const char* dot = nullptr;
    for (const char* c = base + 1; *base != '\0' && *c != '\0'; ++c) {
        if (*c == '.') dot = c;
    }
    const size_t length = dot != nullptr ? static_cast<size_t>(dot - base) : std::strlen(base);
    if (!pad_name(base, length, name)) return false;
    for (uint8_t& c : name) c = upper ? static_cast<uint8_t>(std::toupper(c)) : c;
    return valid_file_name(name);
}

// Why the PC file at path is no TI file PUT can take.
Failure not_a_ti_file(const char* path, const TiFileRead& read) {
    Text words;
    words.quoted(path);
    if (read.form == TiFileRead::Form::cut_short) {
        words.add(" is not a whole TIFILES file: its header says ").number(read.file.allocated);
        return change_refused(words.add(" sectors, which it does not hold."));
    }
    return change_refused(
        words.add(" is not a TI file: neither a TIFILES file nor a descriptor record "
                  "and its sectors."));
}

// A file about to be put: its record's fields, named, and its data sectors, which last until
// it is placed.
struct NewFile {
    FileRecord file;
    std::span<const uint8_t> body;
    Buffer bytes;
    const char* path = nullptr;  // the PC file it came from; nullptr for a copy
};

// Adds the file to the change, or with force puts it in place of the file of its name that is
// not protected; its line in line.
Result place_file(const DiskPlace& place, DiskChange& change, const NewFile& added, bool force,
                  SavedFile& line) {
    describe_file(added.file, line);
    line.path = added.path;
    const uint32_t free = change.placeable_sectors();
    const uint32_t old = force ? change.find(added.file.name) : 0;
    if (old != 0) std::memcpy(line.was, line.name, sizeof line.name);
    const ChangeFault fault =
        old != 0 ? change.replace(old, added.file, added.body) : change.add(added.file, added.body);
    if (fault == ChangeFault::none) return std::nullopt;
    return cannot_change(place, fault, line.name, added.path, free, added.file.allocated + 1);
}

// The PC file at path read as the request's form asks, named.
Result read_pc_file(const char* path, const PutRequest& request, NewFile& added) {
    added.path = path;
    LoadedFile loaded;
    Result failed = load_file(path, MOST_FILE_BYTES, loaded, INPUT_FILE);
    if (failed && failed->status() != RESULT_IMAGE_TOO_LARGE) return failed;
    if (request.form != PutForm::as_is) {
        if (failed) {
            Text words;
            return change_refused(words.quoted(path).add(" holds more than a disk holds."));
        }
        MadeFile made;
        if (Result refused = text_as_file(path, {loaded.bytes.get(), loaded.length},
                                          request.form == PutForm::basic, made)) {
            return refused;
        }
        added.file = made.file;
        added.bytes = std::move(made.body);
        added.body = {added.bytes.get(), size_t{added.file.allocated} * IMAGE_SECTOR_BYTES};
    } else {
        const TiFileRead read = read_ti_file({loaded.bytes.get(), failed ? 0 : loaded.length});
        if (read.body.data() == nullptr) return not_a_ti_file(path, read);
        added.file = read.file;
        added.body = read.body;
        added.bytes = std::move(loaded.bytes);
        if (read.named && request.name == nullptr) return std::nullopt;
    }
    if (request.name != nullptr) {
        std::memcpy(added.file.name, request.name, TI_NAME_BYTES);
        return std::nullopt;
    }
    if (name_of_pc_file(path, request.form != PutForm::as_is, added.file.name)) {
        return std::nullopt;
    }
    Text words;
    words.quoted(path).add(" gives no valid TI name, neither in its header nor as its file ");
    return change_refused(words.add("name ").add(TI_NAME_RULE).add("."));
}

// The same disk, by its place: one volume of the card, or one image file by any of its names.
bool same_disk(const DiskPlace& a, const DiskPlace& b) {
    if ((a.file == nullptr) != (b.file == nullptr)) return false;
    if (a.file == nullptr) return a.volume == b.volume;
    const std::optional<FileIdentity> first = identity_at(a.file);
    return first && first == identity_at(b.file);
}

}  // namespace

Result put_files(const DiskPlace& place, const PutRequest& request, FileLine on_put,
                 ChangeDone& done) {
    const auto build = [&](DiskBytes, const Directory&, DiskChange& change,
                           ChangedFiles& changed) -> Result {
        for (uint32_t i = 0; i < request.count; ++i) {
            if (changed.count == MOST_FILES) {
                return cannot_change(place, ChangeFault::index_full, last_part(request.paths[i]),
                                     request.paths[i]);
            }
            NewFile added;
            if (Result refused = read_pc_file(request.paths[i], request, added)) return refused;
            SavedFile& line = changed.files[changed.count++];
            if (Result refused = place_file(place, change, added, request.force, line)) {
                return refused;
            }
        }
        return std::nullopt;
    };
    return change_disk(place, build, on_put, done);
}

Result copy_files(const DiskPlace& from, const DiskPlace& to, const char* const* names,
                  uint32_t count, bool force, FileLine on_copied, ChangeDone& done) {
    if (same_disk(from, to)) {
        Text words("COPY takes its files from one disk onto another; ");
        return Failure(STATUS_REFUSED, words.add(place_words(from)).add(" is both."));
    }
    PreparedImage source;
    if (Result failed = load_disk(from, source)) return failed;
    const DiskBytes disk{source.bytes.get(), source.present};
    const Directory directory = read_directory(disk);
    if (directory.disk.kind != VolumeSummary::Kind::disk) {
        return no_such_file(RESULT_NO_SOURCE, from, nullptr, label_of(directory.disk));
    }
    ChosenFiles chosen;
    if (count == 0) {
        choose_every_file(directory, chosen);
    } else if (Result refused =
                   choose_files(from, disk, directory, names, count, RESULT_NO_SOURCE, chosen)) {
        return refused;
    }
    const Buffer exported = obtain<uint8_t>(MOST_FILE_BYTES);
    if (!exported) return last_error_failure(RESULT_NO_SOURCE);
    const auto build = [&](DiskBytes, const Directory&, DiskChange& change,
                           ChangedFiles& changed) -> Result {
        for (uint32_t i = 0; i < chosen.count; ++i) {
            size_t length = 0;
            const std::span<uint8_t, MOST_FILE_BYTES> out{exported.get(), MOST_FILE_BYTES};
            if (const FileFault fault = export_file(disk, chosen.records[i], out, length);
                fault != FileFault::none) {
                char name[TI_NAME_BYTES + 1] = {};
                show_name(sector_of(disk, chosen.records[i]).data(), name);
                Text words("the file ");
                words.add(name).add(" on ").add(place_words(from)).add(" cannot be read: ");
                return change_refused(words.add(file_fault_words(fault)).add("."));
            }
            const TiFileRead read = read_ti_file({exported.get(), length});
            NewFile added;
            added.file = read.file;
            added.body = read.body;
            if (Result refused =
                    place_file(to, change, added, force, changed.files[changed.count++])) {
                return refused;
            }
        }
        return std::nullopt;
    };
    return change_disk(to, build, on_copied, done);
}
