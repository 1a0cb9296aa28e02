#include "front/front_end.h"

#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>

#include "device/card_choice.h"
#include "device/console_answer.h"
#include "device/system_text.h"
#include "disk/file_record.h"
#include "front/outcome_lines.h"
#include "slotpush.h"
#include "transfer/card_backup.h"
#include "transfer/card_search.h"
#include "transfer/catalogue.h"
#include "transfer/file_change.h"
#include "transfer/file_listing.h"
#include "transfer/image_file.h"
#include "transfer/volume_edit.h"
#include "transfer/volume_transfer.h"

namespace {

// What a command is given: its words (the keyword, or the image file, first) and what settles
// its card.
struct Run {
    char** words;
    int count;
    const char* program;     // argument 0, for the drive-choice file
    const char* named_card;  // --card's path; nullptr where none is named
    bool trim;               // --trim: a read-back at the disk's own size
    bool force;              // --force: GET replaces a file that is there already
};

// One command of the command line: its keyword, its form and meaning for the usage text, how
// many words it takes (its keyword included; each takes at least two) and what runs it.
struct Command {
    const char* keyword;  // nullptr: the write, whose first word is the image file
    const char* form;
    const char* meaning;  // nullptr: the usage text's first lines say it
    int least_words;
    int most_words;
    int (*run)(const Run& run);
};

// No limit on a command's words but the command line's own.
constexpr int ANY_WORDS = INT_MAX;

// A step's outcome, said; card is the card it used, where it used one.
int reported(const Outcome& outcome, const Card* card) {
    report_outcome(outcome, card);
    return outcome.status;
}

// A listing's outcome: its own lines have said what it found, so only a failure is said.
int listed(const Outcome& outcome, const Card* card) {
    return outcome.failed() ? reported(outcome, card) : outcome.status;
}

// The card named on the command line, else the one the drive-choice file stores, else the one
// the user picks from the listing; none (its reason said) when there is none.
std::optional<Card> settle_card(const Run& run) {
    if (run.named_card != nullptr) {
        Card card;
        const Outcome outcome = name_card(run.named_card, card);
        if (!outcome.failed()) return card;
        report_outcome(outcome, nullptr);
        return std::nullopt;
    }
    int32_t stored = NO_DRIVE;
    if (!load_drive_choice(run.program, stored)) return std::nullopt;
    if (stored != NO_DRIVE) return physical_drive_card(stored);
    return choose_card();  // the listing says why when none is chosen
}

// "7", "1-40" or "1-" (to the card's end): true, with the first and last volume (last 0: to
// the end). Anything but digits, a volume 0, a reversed range or one past 32 bits is refused.
bool parse_volume_range(const char* text, uint32_t& first, uint32_t& last) {
    const char* end = text + std::strlen(text);
    const auto [after_first, first_error] = std::from_chars(text, end, first);
    if (first_error != std::errc() || first == 0) return false;
    last = first;
    if (after_first == end) return true;
    if (*after_first != '-') return false;
    last = 0;
    if (after_first + 1 == end) return true;
    const auto [after_last, last_error] = std::from_chars(after_first + 1, end, last);
    return last_error == std::errc() && after_last == end && last >= first;
}

// parse_volume_range, its refusal said.
bool volume_range(const char* text, uint32_t& first, uint32_t& last) {
    if (parse_volume_range(text, first, last)) return true;
    std::printf("The value '%s' is an invalid volume range.\n", text);
    return false;
}

bool all_digits(const char* text) {
    while (*text >= '0' && *text <= '9') ++text;
    return *text == '\0';
}

// Each command checks its volume text before the card is settled, so that a slip is refused
// without a question.

void report_written(const Card& card, uint32_t volume, const DiskLabel& held,
                    const DiskLabel& holds) {
    report_volume_written(volume, card.shown, held, holds);
}

// "Volumes 3 to 4 were written; 5 to 7 were not.": where a run of many stopped.
void report_batch_stop(uint32_t first, uint32_t written, uint32_t count) {
    const Decimal stopped(first + written);
    const Decimal last(first + count - 1);
    if (written == 0) {
        std::printf("No volume was written (%s to %s).\n", stopped.text, last.text);
        return;
    }
    std::printf("Volume%s %s", written == 1 ? "" : "s", Decimal(first).text);
    if (written > 1) std::printf(" to %s", Decimal(first + written - 1).text);
    std::printf(" %s written; %s", written == 1 ? "was" : "were", stopped.text);
    if (written + 1 < count) std::printf(" to %s", last.text);
    std::printf(" %s not.\n", written + 1 < count ? "were" : "was");
}

// Many image files: the last word is the first volume, or a range they must fit.
int run_write_many(const Run& run) {
    const char* target = run.words[run.count - 1];
    const auto count = static_cast<uint32_t>(run.count - 1);
    uint32_t first = 0;
    uint32_t last = 0;
    if (all_digits(target)) {
        if (check_volume_number(target, first) != 0) return STATUS_REFUSED;
    } else if (!volume_range(target, first, last)) {
        return STATUS_REFUSED;
    }
    if ((last != 0 && count > last - first + 1) || first > UINT32_MAX - (count - 1)) {
        std::printf("%s files do not fit volumes %s; nothing was written.\n", Decimal(count).text,
                    target);
        return STATUS_REFUSED;
    }
    const Owned<uint32_t> volumes = obtain<uint32_t>(count);
    if (!volumes) return reported(failed_with_last_error(RESULT_NO_SOURCE), nullptr);
    for (uint32_t i = 0; i < count; ++i) volumes[i] = first + i;
    const ImageList images{run.words, volumes.get(), count, false};
    if (const Outcome refused = check_images(images); refused.failed()) {
        return reported(refused, nullptr);  // before a question is asked
    }
    const std::optional<Card> card = settle_card(run);
    if (!card) return STATUS_REFUSED;
    uint32_t written = 0;
    const Outcome outcome = write_volume_list(*card, images, report_written, written);
    reported(outcome, &*card);
    const bool part_way = written > 0 || outcome.where == Outcome::Where::card_volume ||
                          outcome.status == RESULT_INTERRUPTED;
    if (outcome.failed() && part_way) report_batch_stop(first, written, count);
    return outcome.status;
}

int run_write(const Run& run) {
    if (run.count > 2) return run_write_many(run);
    uint32_t volume = 0;
    if (check_volume_number(run.words[1], volume) != 0) return STATUS_REFUSED;
    const std::optional<Card> card = settle_card(run);
    if (!card) return STATUS_REFUSED;
    return reported(write_volume_from(*card, run.words[0], volume), &*card);
}

// "Removed backup/0007-GAMES.dsk: volume 7 is empty now."
void report_removed(uint32_t volume, const char* path, bool empty) {
    std::printf("Removed %s: volume %s %s.\n", path, Decimal(volume).text,
                empty ? "is empty now" : "is saved under another name");
}

// FLASH N-M FOLDER: every volume of the range that holds something, into the folder.
int run_backup(const Run& run) {
    VolumeRange range;
    if (!volume_range(run.words[1], range.first, range.last)) return STATUS_REFUSED;
    if (run.count < 3) {
        std::printf("A range of volumes is saved into a folder: name it.\n");
        return STATUS_USAGE;
    }
    const std::optional<Card> card = settle_card(run);
    if (!card) return STATUS_REFUSED;
    BackupDone done;
    const auto stopped = [&](const Outcome& failure) { report_outcome(failure, &*card); };
    const BackupLines lines{report_volume_saved, report_removed, stopped};
    const Outcome outcome = backup_volumes(*card, range, run.words[2], run.trim, lines, done);
    if (outcome.about == Outcome::About::past_card_end) {
        report_list_past_end(outcome);
        return outcome.status;
    }
    if (outcome.failed()) reported(outcome, &*card);
    if (!outcome.failed() || done.saved > 0 || done.empty > 0) {
        std::printf("%s volume%s saved, %s empty.\n", Decimal(done.saved).text,
                    done.saved == 1 ? "" : "s", Decimal(done.empty).text);
    }
    return outcome.status;
}

int run_read_back(const Run& run) {
    if (!all_digits(run.words[1])) return run_backup(run);
    uint32_t volume = 0;
    if (check_volume_number(run.words[1], volume) != 0) return STATUS_REFUSED;
    const std::optional<Card> card = settle_card(run);
    if (!card) return STATUS_REFUSED;
    const char* file = run.count > 2 ? run.words[2] : FLASH_KEYWORD;
    return reported(read_volume_back(*card, volume, file, run.trim), &*card);
}

void report_skipped(const char* folder, const char* name, bool is_folder) {
    std::printf("Skipped %s in %s: %s.\n", name, folder,
                is_folder ? "a folder" : "not a backup's file name");
}

// RESTORE FOLDER [FIRST[-LAST]]: each backup's file of the range back into its volume, as one
// run of many.
int run_restore(const Run& run) {
    VolumeRange range;
    if (run.count > 2 && !volume_range(run.words[2], range.first, range.last)) {
        return STATUS_REFUSED;
    }
    const std::optional<Card> card = settle_card(run);
    if (!card) return STATUS_REFUSED;
    Restore restore;
    const Outcome outcome =
        restore_volumes(*card, run.words[1], range, report_written, report_skipped, restore);
    if (!outcome.failed() && restore.found == 0) {
        std::printf("There is no backup's file in %s; nothing was written.\n", run.words[1]);
        return STATUS_REFUSED;
    }
    reported(outcome, &*card);
    if (outcome.failed() && restore.written > 0) {
        std::printf("%s of %s volumes were written; the rest were not.\n",
                    Decimal(restore.written).text, Decimal(restore.found).text);
    }
    return outcome.status;
}

// NAME, FORMAT and CLEAR: the volume number, then the disk's name where one is taken.
int run_edit(const Run& run, VolumeEdit edit) {
    uint32_t volume = 0;
    if (check_volume_number(run.words[1], volume) != 0) return STATUS_REFUSED;
    uint8_t name[TI_NAME_BYTES];
    const char* text = run.count > 2 ? run.words[2] : "";
    const bool padded = pad_name(text, std::strlen(text), name);
    if (!padded || (run.count > 2 && !valid_file_name(name))) {
        std::printf(
            "'%s' is not a valid TI name (1 to 10 characters; no blank, '.' or control "
            "byte).\n",
            text);
        return STATUS_REFUSED;
    }
    const std::optional<Card> card = settle_card(run);
    if (!card) return STATUS_REFUSED;
    return reported(edit_volume(*card, volume, edit, name), &*card);
}

int run_name(const Run& run) {
    return run_edit(run, VolumeEdit::rename);
}

int run_format(const Run& run) {
    return run_edit(run, VolumeEdit::format);
}

int run_clear(const Run& run) {
    return run_edit(run, VolumeEdit::clear);
}

void report_found(const Found& found) {
    std::printf("%6s  ", Decimal(found.volume).text);
    if (found.error != NO_ERROR) {
        std::printf("(not read: ");
        print_system_text(found.error);
        std::printf(")\n");
        return;
    }
    if (found.file == nullptr) {
        std::printf("%s\n", found.disk);
        return;
    }
    std::printf("%-10s  %-10s  %-11s  %5s\n", found.disk, found.file->name, found.file->type,
                Decimal(found.file->sectors).text);
}

// FIND TEXT: the disks and files whose names hold the text.
int run_find(const Run& run) {
    const std::optional<Card> card = settle_card(run);
    if (!card) return STATUS_REFUSED;
    std::printf("Volume  Disk        File        Type          Size\n");
    uint32_t found = 0;
    uint64_t read_bytes = 0;
    const Outcome outcome = find_on_card(*card, run.words[1], report_found, found, read_bytes);
    if (outcome.failed() && outcome.about != Outcome::About::listed) {
        return reported(outcome, &*card);
    }
    if (found == 0) std::printf("Nothing on the card holds '%s'.\n", run.words[1]);
    std::printf("%s found; %s bytes read.\n", Decimal(found).text, Decimal(read_bytes).text);
    return outcome.status;
}

int run_list(const Run& run) {
    uint32_t first = 0;
    uint32_t last = 0;
    if (!volume_range(run.words[1], first, last)) return STATUS_REFUSED;
    const std::optional<Card> card = settle_card(run);
    if (!card) return STATUS_REFUSED;
    const Outcome outcome = list_volumes(*card, first, last);
    if (outcome.about != Outcome::About::past_card_end) return listed(outcome, &*card);
    report_list_past_end(outcome);
    return outcome.status;
}

// A volume number, or else an image file.
int run_dir(const Run& run) {
    const char* what = run.words[1];
    if (!all_digits(what)) return listed(list_image_files(what), nullptr);
    uint32_t volume = 0;
    if (check_volume_number(what, volume) != 0) return STATUS_REFUSED;
    const std::optional<Card> card = settle_card(run);
    if (!card) return STATUS_REFUSED;
    return listed(list_volume_files(*card, volume), &*card);
}

// The disk a file command works on: a volume of the card (settled here, into card), or else an
// image file, beside which a card file named with --card is known, so that nothing is saved over
// it. False where the volume number or the card is refused (said).
bool settle_place(const Run& run, DiskPlace& place, std::optional<Card>& card) {
    if (!all_digits(run.words[1])) {
        place.file = run.words[1];
        Card named;
        if (run.named_card != nullptr && !name_card(run.named_card, named).failed()) {
            card = named;
            place.card = &*card;
        }
        return true;
    }
    if (check_volume_number(run.words[1], place.volume) != 0) return false;
    card = settle_card(run);
    place.card = card ? &*card : nullptr;
    return card.has_value();
}

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

// GET: one file, or every file of the disk, off a volume or an image file.
int run_get(const Run& run) {
    DiskPlace place;
    std::optional<Card> card;
    if (!settle_place(run, place, card)) return STATUS_REFUSED;
    const auto replace = [&](const char* path) { return may_replace(run.force, path); };
    const MayReplace asked(replace);
    GetRequest request;
    request.name = run.count > 2 ? run.words[2] : nullptr;
    request.path = run.count > 3 ? run.words[3] : nullptr;
    request.may_replace = &asked;
    const auto left = [&](const Outcome& failure) { report_outcome(failure, place.card); };
    const GetLines lines{report_saved_file, left};
    GetDone done;
    const Outcome outcome = get_files(place, request, lines, done);
    if (outcome.failed()) reported(outcome, place.card);
    const bool per_file = !outcome.failed() || outcome.about == Outcome::About::listed ||
                          outcome.about == Outcome::About::interrupted;
    if (request.name == nullptr && per_file) {
        std::printf("%s file%s saved", Decimal(done.saved).text, done.saved == 1 ? "" : "s");
        if (done.left > 0) std::printf("; %s left unsaved", Decimal(done.left).text);
        std::printf(".\n");
    }
    return outcome.status;
}

// PUT and DEL: the words after the disk are the files or the names, all changed or none.
int run_change(const Run& run,
               Outcome (*change)(const DiskPlace&, char* const*, uint32_t, FileSaved, ChangeDone&),
               FileSaved on_done, const char* verb) {
    DiskPlace place;
    std::optional<Card> card;
    if (!settle_place(run, place, card)) return STATUS_REFUSED;
    ChangeDone done;
    const auto count = static_cast<uint32_t>(run.count - 2);
    const Outcome outcome = change(place, run.words + 2, count, on_done, done);
    if (outcome.failed()) return reported(outcome, place.card);
    report_change_done(done, place, verb);
    return outcome.status;
}

int run_put(const Run& run) {
    return run_change(run, put_files, report_put_file, "put");
}

int run_del(const Run& run) {
    return run_change(run, delete_files, report_deleted_file, "deleted");
}

// clang-format off
const Command COMMANDS[] = {
    {nullptr, "<DSK file> <volume#>", nullptr, 2, ANY_WORDS, run_write},
    {FLASH_KEYWORD, "FLASH <volume#> [<file>]", "read a volume back (into FLASH)", 2, 3, run_read_back},
    {RESTORE_KEYWORD, "RESTORE <folder> [<range>]", "write back what FLASH <first>-<last> <folder> saved", 2, 3, run_restore},
    {LIST_KEYWORD, "LIST <first>[-<last>]", "list what the volumes hold", 2, 2, run_list},
    {DIR_KEYWORD, "DIR <volume#>|<DSK file>", "list the files on a disk", 2, 2, run_dir},
    {GET_KEYWORD, "GET <disk> [<name> [<to>]]", "save files of a volume or DSK file", 2, 4, run_get},
    {PUT_KEYWORD, "PUT <disk> <file>...", "put files onto a volume or DSK file", 3, ANY_WORDS, run_put},
    {DEL_KEYWORD, "DEL <disk> <name>...", "delete files from a volume or DSK file", 3, ANY_WORDS, run_del},
    {NAME_KEYWORD, "NAME <volume#> <name>", "rename the disk in a volume", 3, 3, run_name},
    {FORMAT_KEYWORD, "FORMAT <volume#> [<name>]", "make a volume a new, empty disk", 2, 3, run_format},
    {CLEAR_KEYWORD, "CLEAR <volume#>", "empty a volume", 2, 2, run_clear},
    {FIND_KEYWORD, "FIND <text>", "find disks and files by name (* and ?)", 2, 2, run_find},
};
// clang-format on
const Command& WRITE_COMMAND = COMMANDS[0];

// The options, taken anywhere on the line before a "--".
struct Options {
    const char* card = nullptr;
    bool help = false;
    bool version = false;
    bool trim = false;
    bool force = false;
};
struct OptionLine {
    const char* form;
    const char* meaning;
};
const OptionLine OPTION_LINES[] = {
    {"--card <device or file>", "name the card (also --card=PATH)"},
    {"--trim", "FLASH: a disk at its own size"},
    {"--force", "GET: replace a file that is there already"},
    {"--help, --version", "this text; the program's version"},
};

constexpr const char* VERSION = "1.0";
constexpr int USAGE_COLUMN = 36;  // where the meanings start, after the form

// "Also:     slotpush LIST <first>[-<last>]      list what the volumes hold"
void print_usage_line(const char* label, const char* prefix, const char* form,
                      const char* meaning) {
    const int width = USAGE_COLUMN - static_cast<int>(std::strlen(prefix));
    std::printf("%-10s%s%-*s%s\n", label, prefix, width, form, meaning);
}

void print_command_form(const Command& command) {
    std::printf("Usage:    slotpush %s\n", command.form);
}

// What follows prefix in word; nullptr where word does not start with it. (The Windows programs
// import no strncmp.)
const char* after_prefix(const char* word, const char* prefix) {
    for (; *prefix != '\0'; ++word, ++prefix) {
        if (*word != *prefix) return nullptr;
    }
    return word;
}

// Takes the options out of argv, leaving the other words, in order, at words[0 .. count). False,
// with the refusal said and status set, for an option it does not know or one without its path.
bool take_options(int argc, char** argv, Options& options, char** words, int& count, int& status) {
    static const char CARD_EQUALS[] = "--card=";
    bool ended = false;
    count = 0;
    for (int i = 1; i < argc; ++i) {
        const char* word = argv[i];
        if (ended || word[0] != '-' || word[1] == '\0' || (word[1] != '-' && word[1] != 'h')) {
            words[count++] = argv[i];
            continue;
        }
        const char* card = nullptr;
        if (std::strcmp(word, "--") == 0) {
            ended = true;
        } else if (std::strcmp(word, "--help") == 0 || std::strcmp(word, "-h") == 0) {
            options.help = true;
        } else if (std::strcmp(word, "--version") == 0) {
            options.version = true;
        } else if (std::strcmp(word, TRIM_OPTION) == 0) {
            options.trim = true;
        } else if (std::strcmp(word, FORCE_OPTION) == 0) {
            options.force = true;
        } else if (const char* rest = after_prefix(word, CARD_EQUALS)) {
            card = rest;
        } else if (std::strcmp(word, CARD_OPTION) == 0 && i + 1 < argc) {
            card = argv[++i];
        } else {
            std::printf(std::strcmp(word, CARD_OPTION) == 0 ? "--card needs a device or a file.\n"
                                                            : "Unknown option '%s'.\n",
                        word);
            status = STATUS_USAGE;
            return false;
        }
        if (card != nullptr && options.card != nullptr) {
            std::printf("--card is given twice; name one card.\n");
            status = STATUS_USAGE;
            return false;
        }
        if (card != nullptr) options.card = card;
    }
    return true;
}

const Command& command_of(const char* first_word) {
    for (const Command& command : COMMANDS) {
        if (command.keyword != nullptr && std::strcmp(first_word, command.keyword) == 0) {
            return command;
        }
    }
    return WRITE_COMMAND;
}

// A keyword typed in another case ("flash") where no file has that name: the keyword meant.
const char* keyword_meant(const char* first_word) {
    for (const Command& command : COMMANDS) {
        if (command.keyword != nullptr && lstrcmpiA(first_word, command.keyword) == 0 &&
            !file_exists(first_word)) {
            return command.keyword;
        }
    }
    return nullptr;
}

}  // namespace

void print_usage() {
    std::printf("\nslotpush Version %s\n\n", VERSION);
    std::printf("Usage:    slotpush %s\n", WRITE_COMMAND.form);
    std::printf("Example:  slotpush c:\\ti_dsk\\dm5.dsk 5\n");
    std::printf("\n");
    const char* label = "Also:";
    for (const Command& command : COMMANDS) {
        if (command.meaning == nullptr) continue;
        print_usage_line(label, "slotpush ", command.form, command.meaning);
        label = "";
    }
    label = "Options:";
    for (const OptionLine& option : OPTION_LINES) {
        print_usage_line(label, "", option.form, option.meaning);
        label = "";
    }
}

int32_t check_volume_number(const char* text, uint32_t& volume_out) {
    uint64_t value = 0;
    bool valid = *text != '\0';
    for (const char* c = text; valid && *c != '\0'; ++c) {
        valid = *c >= '0' && *c <= '9';
        value = value * 10 + static_cast<uint64_t>(*c - '0');
        valid = valid && value <= UINT32_MAX;
    }
    if (!valid || value == 0) {
        std::printf("The value '%s' is an invalid volume number.\n", text);
        return STATUS_REFUSED;
    }
    volume_out = static_cast<uint32_t>(value);
    return 0;
}

int slotpush_main(int argc, char** argv) {
    Options options;
    int count = 0;
    int status = RESULT_SUCCESS;
    // The words are gathered in argv itself, behind argument 0: never ahead of the one read.
    char** words = argv + 1;
    if (!take_options(argc, argv, options, words, count, status)) return status;
    if (options.help || options.version) {
        if (options.help) print_usage();
        if (options.version) std::printf("slotpush %s\n", VERSION);
        return RESULT_SUCCESS;
    }
    if (count < 2) {
        print_usage();
        return STATUS_USAGE;
    }
    const Command& command = command_of(words[0]);
    if (const char* meant = &command == &WRITE_COMMAND ? keyword_meant(words[0]) : nullptr) {
        std::printf("There is no file '%s'; did you mean %s?\n", words[0], meant);
        return STATUS_USAGE;
    }
    if (count > command.most_words) {
        std::printf("Too many arguments, from '%s' on.\n", words[command.most_words]);
        print_command_form(command);
        return STATUS_USAGE;
    }
    if (count < command.least_words) {
        std::printf("Too few arguments.\n");
        print_command_form(command);
        return STATUS_USAGE;
    }
    if (options.card != nullptr && options.card[0] == '\0') {
        std::printf("--card names no card: its name is empty.\n");
        return STATUS_REFUSED;
    }
    if (options.trim && command.run != run_read_back) {
        std::printf("--trim is for FLASH alone.\n");
        return STATUS_USAGE;
    }
    if (options.force && command.run != run_get) {
        std::printf("--force is for GET alone.\n");
        return STATUS_USAGE;
    }
    return command.run({words, count, argv[0], options.card, options.trim, options.force});
}

int slotpush_process(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);  // each line out as it is said, to a file too
    hold_interruptions();
    int status = slotpush_main(argc, argv);
    if (std::ferror(stdout) && status == RESULT_SUCCESS) status = STATUS_OUTPUT_LOST;
    if (std::ferror(stdout)) std::fputs("slotpush: its output could not be written.\n", stderr);
    return status;
}
