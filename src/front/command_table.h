// The table of commands: each row says what its command takes, by kind and number, which
// options it allows and whether it needs the card; the front end reads the words by those kinds,
// settles the card once for the rows that need it, and runs the row's function.
#pragma once

#include <cstdint>

#include "device/card.h"
#include "device/failure.h"
#include "disk/volume_header.h"
#include "transfer/card_backup.h"
#include "transfer/file_transfer.h"

inline constexpr char VERSION[] = "1.0";

// The kinds of words a command takes.
enum class Kind : uint8_t {
    none,       // no word: the end of a row's arguments
    volume,     // a volume number, from 1: "5"
    range,      // volumes: "7", "1-40", or "1-" to the card's end
    start,      // the first volume of a run ("5": from there on), or a range it must fit
    place,      // a disk: a volume number, or else an image file
    target,     // a second disk, as place
    file,       // a PC file
    files,      // PC files, one or more
    name,       // a TI file's name, as typed
    names,      // TI files' names, one or more
    disk_name,  // a valid TI name for a disk
    folder,     // a folder on the PC
    text,       // a text to search for
    list_word,  // the word LIST
};

struct Arg {
    Kind kind = Kind::none;
    bool optional = false;  // only at the end of a row
};

// The options a row allows.
enum Option : uint8_t {
    NO_OPTIONS = 0,
    TRIM = 1,
    FORCE = 2,
    TEXT = 4,
    BASIC = 8,
    AS = 16,
    KEPT = 32,  // a change of the card, kept for UNDO unless --no-undo is given
};

// The options of the command line, taken anywhere before a "--".
struct Options {
    const char* card = nullptr;  // --card's path
    bool help = false;
    bool version = false;
    bool trim = false;
    bool force = false;
    bool text = false;
    bool basic = false;
    const char* as = nullptr;  // --as's name
    bool no_undo = false;
};

// What a row's words came to, each kind in its own field.
struct Args {
    uint32_t volume = 0;
    VolumeRange range;  // range and start
    const char* range_text = nullptr;
    DiskPlace place;   // its card filled in once the card is settled
    DiskPlace target;  // COPY's second disk
    const char* file = nullptr;
    const char* const* list = nullptr;  // files and names
    uint32_t list_count = 0;
    const char* name = nullptr;
    uint8_t disk_name[TI_NAME_BYTES] = {};  // blank-padded; all blanks where none is given
    const char* folder = nullptr;
    const char* text = nullptr;
};

// What a command's function is given: its words, the card where it needs one (settled once),
// and the options.
struct CommandRun {
    const Args& args;
    const Card* card;
    const Options& options;
};

// Whether a command needs the card: always, never, or where one of its disks is a volume.
enum class CardUse : uint8_t { always, never, for_volume };

inline constexpr int MOST_ARGS = 3;

struct Command {
    const char* keyword;  // nullptr: the write, whose first word is an image file
    const char* form;
    const char* meaning;  // nullptr: the usage text's first lines say it
    Arg args[MOST_ARGS];
    uint8_t options;
    CardUse card;
    // A refusal that needs no card, made before the card is settled (nullptr: none).
    Result (*check)(const Args& args, const Options& options);
    Result (*run)(const CommandRun& run);
};

// The row the words ask for: the command of the first word's keyword (the write where it names
// none), in the form the words take.
const Command& command_for(char* const* words, int count);

// A keyword typed in another case ("flash") where no file has that name: the keyword meant.
const char* keyword_meant(const char* first_word);

// Whether the word is a command's keyword.
bool is_keyword(const char* word);

// Reads the words after the row's keyword (all of them for the write) by its kinds into args:
// success, or the refusal as a line of its own, the command's form after a wrong count.
Result read_words(const Command& command, char* const* words, int count, Args& args);

// Refuses an option the row does not allow: "--trim is for FLASH alone."
Result check_options(const Command& command, const Options& options);

// The usage text, made from the rows.
void print_usage();

// The text as a valid TI name, blank-padded into name: false where it is none.
bool valid_name(const char* text, uint8_t (&name)[TI_NAME_BYTES]);

// The value as a volume number (1 to the largest 32-bit number), else the refusal "The value
// 'x' is an invalid volume number."
Result read_volume(const char* text, uint32_t& volume);
