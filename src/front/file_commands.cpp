// GET, PUT, DEL, TYPE, COPY, REN, PROTECT and UNPROTECT: a disk's files, the disk in a volume of
// the card or in an image file.
#include <cstdio>

#include "device/console_answer.h"
#include "disk/file_record.h"
#include "disk/name_pattern.h"
#include "front/commands.h"
#include "front/run_lines.h"
#include "transfer/file_change.h"
#include "transfer/file_get.h"
#include "transfer/file_put.h"

namespace {

// Whether GET may replace a file that is there: with --force, or where the user, asked at the
// console, says so. Input that is no console is never asked.
bool may_replace(bool force, const char* path) {
    if (force) return true;
    if (!input_is_console()) return false;
    std::printf("Replace '%s'? (Y/N): ", path);
    char answer[ANSWER_BYTES];
    read_answer(stdin, answer);
    return answer[0] == 'Y' || answer[0] == 'y';
}

// "3 files saved; 1 left unsaved."
Text files_saved(const GetDone& done) {
    Text words;
    words.number(done.saved).add(done.saved == 1 ? " file saved" : " files saved");
    if (done.left > 0) words.add("; ").number(done.left).add(" left unsaved");
    return words.add(".");
}

void print_bytes(std::span<const uint8_t> bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

// A change of the disk's files, its files' lines said by say, then its closing line.
Result changed(const DiskPlace& place, const char* verb,
               FunctionRef<Result(FileLine said, ChangeDone& done)> change,
               FunctionRef<void(const SavedFile& file)> say) {
    ChangeDone done;
    if (Result failed = change(say, done)) return failed;
    say_change_done(done, place, verb);
    return std::nullopt;
}

// PROTECT and UNPROTECT.
Result set_protection(const CommandRun& run, bool on) {
    const DiskPlace& place = run.args.place;
    const auto change = [&](FileLine said, ChangeDone& done) {
        return protect_files(place, run.args.list, run.args.list_count, on, said, done);
    };
    const auto say = [&](const SavedFile& file) { say_protected_file(file, place, on); };
    return changed(place, on ? "protected" : "unprotected", change, say);
}

}  // namespace

// GET: one file, or those a pattern matches, or every file of the disk, off a volume or an
// image file.
Result get(const CommandRun& run) {
    const DiskPlace& place = run.args.place;
    const auto replace = [&](const char* path) { return may_replace(run.options.force, path); };
    const MayReplace asked(replace);
    const GetRequest request{run.args.name, run.args.file, &asked, run.options.text};
    const auto saved = [&](const SavedFile& file) { say_saved_file(file, place); };
    const auto left = [](const Failure& failure) { say_failure(failure); };
    GetDone done;
    Result failed = get_files(place, request, {saved, left, print_bytes}, done);
    if (request.name != nullptr && !has_wildcards(request.name)) return failed;
    if (!failed) {
        std::printf("%s\n", files_saved(done).c_str());
    } else if (failed->status() == RESULT_FILES_LEFT || failed->status() == RESULT_INTERRUPTED) {
        failed->then(files_saved(done));
    }
    return failed;
}

// --text and --basic read a PC file two ways, and --as names one file.
Result check_put(const Args& args, const Options& options) {
    if (options.text && options.basic) {
        return Failure::line(STATUS_USAGE,
                             Text("--text and --basic read a file two ways: give one."));
    }
    if (options.as != nullptr && args.list_count > 1) {
        Text words("--as names one file; ");
        return Failure::line(STATUS_USAGE, words.number(args.list_count).add(" are given."));
    }
    uint8_t name[TI_NAME_BYTES];
    if (options.as == nullptr || valid_name(options.as, name)) return std::nullopt;
    Text words;
    words.quoted(options.as).add(" is not a valid TI name ").add(TI_NAME_RULE).add(".");
    return Failure::line(STATUS_REFUSED, words);
}

Result put(const CommandRun& run) {
    const DiskPlace& place = run.args.place;
    uint8_t name[TI_NAME_BYTES];
    PutRequest request;
    request.paths = run.args.list;
    request.count = run.args.list_count;
    request.form = run.options.text    ? PutForm::text
                   : run.options.basic ? PutForm::basic
                                       : PutForm::as_is;
    request.name = run.options.as != nullptr && valid_name(run.options.as, name) ? name : nullptr;
    request.force = run.options.force;
    const auto change = [&](FileLine said, ChangeDone& done) {
        return put_files(place, request, said, done);
    };
    const auto say = [&](const SavedFile& file) { say_put_file(file, place); };
    return changed(place, "put", change, say);
}

Result del(const CommandRun& run) {
    const DiskPlace& place = run.args.place;
    const auto change = [&](FileLine said, ChangeDone& done) {
        return delete_files(place, run.args.list, run.args.list_count, said, done);
    };
    const auto say = [&](const SavedFile& file) { say_deleted_file(file, place); };
    return changed(place, "deleted", change, say);
}

// TYPE: a file's text as GET --text gives it, or a dump of its bytes.
Result type(const CommandRun& run) {
    return type_file(run.args.place, run.args.name, {print_bytes, say_dump});
}

Result copy(const CommandRun& run) {
    const DiskPlace& from = run.args.place;
    const DiskPlace& to = run.args.target;
    const auto change = [&](FileLine said, ChangeDone& done) {
        return copy_files(from, to, run.args.list, run.args.list_count, run.options.force, said,
                          done);
    };
    const auto say = [&](const SavedFile& file) { say_copied_file(file, from, to); };
    return changed(to, "copied", change, say);
}

Result ren(const CommandRun& run) {
    const DiskPlace& place = run.args.place;
    const auto change = [&](FileLine said, ChangeDone& done) {
        return rename_file(place, run.args.name, run.args.disk_name, said, done);
    };
    const auto say = [&](const SavedFile& file) { say_renamed_file(file, place); };
    return changed(place, "renamed", change, say);
}

Result protect(const CommandRun& run) {
    return set_protection(run, true);
}

Result unprotect(const CommandRun& run) {
    return set_protection(run, false);
}
