// A backup of the card's volumes into a folder, and such a folder written back.
#include <cstdio>

#include "front/commands.h"
#include "front/run_lines.h"
#include "transfer/card_backup.h"

namespace {

// "Removed backup/0007-GAMES.dsk: volume 7 is empty now."
void say_removed(uint32_t volume, const char* path, bool empty) {
    std::printf("Removed %s: volume %s %s.\n", path, Decimal(volume).text,
                empty ? "is empty now" : "is saved under another name");
}

void say_skipped(const char* folder, const char* name, bool is_folder) {
    std::printf("Skipped %s in %s: %s.\n", name, folder,
                is_folder ? "a folder" : "not a backup's file name");
}

// "4 volumes saved, 1 empty."
Text backup_count(const BackupDone& done) {
    Text words;
    words.number(done.saved).add(done.saved == 1 ? " volume" : " volumes").add(" saved, ");
    return words.number(done.empty).add(" empty.");
}

}  // namespace

Result check_back_up(const Args& args, const Options&) {
    if (args.folder != nullptr) return std::nullopt;
    return Failure::line(STATUS_USAGE, Text("A range of volumes is saved into a folder: name it."));
}

// FLASH N-M FOLDER: every volume of the range that holds something, into the folder.
Result back_up(const CommandRun& run) {
    const Card& card = *run.card;
    const auto saved = [&](const VolumeSaved& volume) { say_volume_saved(card, volume); };
    const BackupLines lines{saved, say_removed};
    BackupDone done;
    Result failed =
        backup_volumes(card, run.args.range, run.args.folder, run.options.trim, lines, done);
    if (!failed) {
        std::printf("%s\n", backup_count(done).c_str());
    } else if (done.saved > 0 || done.empty > 0) {
        failed->then(backup_count(done));
    }
    return failed;
}

// RESTORE FOLDER [FIRST[-LAST]]: each backup's file of the range back into its volume, as one
// run of many.
Result restore(const CommandRun& run) {
    const Card& card = *run.card;
    const auto said = [&](const VolumeWritten& written) { say_volume_written(card, written); };
    Restore restore;
    Result failed =
        restore_volumes(card, run.args.folder, run.args.range, said, say_skipped, restore);
    if (!failed && restore.found == 0) {
        Text words("There is no backup's file in ");
        return Failure::line(STATUS_REFUSED,
                             words.add(run.args.folder).add("; nothing was written."));
    }
    if (failed && restore.run.written > 0) {
        Text words;
        words.number(restore.run.written).add(" of ").number(restore.found);
        failed->then(words.add(" volumes were written; the rest were not."));
    }
    if (!failed) say_succeeded();
    return failed;
}
