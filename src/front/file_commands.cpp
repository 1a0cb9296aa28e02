// GET, PUT and DEL: a disk's files, the disk in a volume of the card or in an image file.
#include <cstdio>

#include "device/console_answer.h"
#include "front/commands.h"
#include "front/run_lines.h"
#include "transfer/file_change.h"
#include "transfer/file_transfer.h"

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

using FileChange = Result (*)(const DiskPlace& place, const char* const* list, uint32_t count,
                              FileLine on_done, ChangeDone& done);

// PUT and DEL: the words after the disk are the files or the names, all changed or none.
Result change(const CommandRun& run, FileChange how,
              void (*say)(const SavedFile& file, const DiskPlace& place), const char* verb) {
    const DiskPlace& place = run.args.place;
    const auto said = [&](const SavedFile& file) { say(file, place); };
    ChangeDone done;
    if (Result failed = how(place, run.args.list, run.args.list_count, said, done)) return failed;
    say_change_done(done, place, verb);
    return std::nullopt;
}

}  // namespace

// GET: one file, or every file of the disk, off a volume or an image file.
Result get(const CommandRun& run) {
    const DiskPlace& place = run.args.place;
    const auto replace = [&](const char* path) { return may_replace(run.options.force, path); };
    const MayReplace asked(replace);
    const GetRequest request{run.args.name, run.args.file, &asked};
    const auto saved = [&](const SavedFile& file) { say_saved_file(file, place); };
    const auto left = [](const Failure& failure) { say_failure(failure); };
    GetDone done;
    Result failed = get_files(place, request, {saved, left}, done);
    if (request.name != nullptr) return failed;
    if (!failed) {
        std::printf("%s\n", files_saved(done).c_str());
    } else if (failed->status() == RESULT_FILES_LEFT || failed->status() == RESULT_INTERRUPTED) {
        failed->then(files_saved(done));
    }
    return failed;
}

Result put(const CommandRun& run) {
    return change(run, put_files, say_put_file, "put");
}

Result del(const CommandRun& run) {
    return change(run, delete_files, say_deleted_file, "deleted");
}
