#include "front/command_table.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "disk/file_record.h"
#include "front/commands.h"
#include "slotpush.h"
#include "transfer/file_change.h"
#include "transfer/image_file.h"

namespace {

constexpr Arg one(Kind kind) {
    return {kind, false};
}
constexpr Arg maybe(Kind kind) {
    return {kind, true};
}

// clang-format off
const Command COMMANDS[] = {
    {nullptr, "<DSK file> <volume#>", nullptr,
     {one(Kind::file), one(Kind::volume)}, KEPT, CardUse::always, nullptr, write_one},
    {nullptr, "<DSK file>... <first>[-<last>]", "write disks into following volumes",
     {one(Kind::files), one(Kind::start)}, KEPT, CardUse::always, check_write_many, write_many},
    {FLASH_KEYWORD, "FLASH <volume#> [<file>]", "read a volume back (into FLASH)",
     {one(Kind::volume), maybe(Kind::file)}, TRIM, CardUse::always, nullptr, read_back},
    {FLASH_KEYWORD, "FLASH <first>-[<last>] <folder>", "save the volumes that hold something",
     {one(Kind::range), maybe(Kind::folder)}, TRIM, CardUse::always, check_back_up, back_up},
    {RESTORE_KEYWORD, "RESTORE <folder> [<range>]", "write back a folder that FLASH saved",
     {one(Kind::folder), maybe(Kind::range)}, KEPT, CardUse::always, nullptr, restore},
    {LIST_KEYWORD, "LIST <first>[-<last>]", "list what the volumes hold",
     {one(Kind::range)}, NO_OPTIONS, CardUse::always, nullptr, list},
    {DIR_KEYWORD, "DIR <volume#>|<DSK file>", "list the files on a disk",
     {one(Kind::place)}, NO_OPTIONS, CardUse::for_volume, nullptr, dir},
    {GET_KEYWORD, "GET <disk> [<name> [<to>]]", "save files of a volume or DSK file",
     {one(Kind::place), maybe(Kind::name), maybe(Kind::file)}, FORCE | TEXT, CardUse::for_volume, nullptr, get},
    {PUT_KEYWORD, "PUT <disk> <file>...", "put files onto a volume or DSK file",
     {one(Kind::place), one(Kind::files)}, FORCE | TEXT | BASIC | AS | KEPT, CardUse::for_volume, check_put, put},
    {DEL_KEYWORD, "DEL <disk> <name>...", "delete files from a volume or DSK file",
     {one(Kind::place), one(Kind::names)}, KEPT, CardUse::for_volume, nullptr, del},
    {TYPE_KEYWORD, "TYPE <disk> <name>", "show a file: its text, or its bytes",
     {one(Kind::place), one(Kind::name)}, NO_OPTIONS, CardUse::for_volume, nullptr, type},
    {COPY_KEYWORD, "COPY <disk> <disk> [<name>...]", "copy files from one disk onto another",
     {one(Kind::place), one(Kind::target), maybe(Kind::names)}, FORCE | KEPT, CardUse::for_volume, nullptr, copy},
    {REN_KEYWORD, "REN <disk> <name> <new name>", "rename a file",
     {one(Kind::place), one(Kind::name), one(Kind::disk_name)}, KEPT, CardUse::for_volume, nullptr, ren},
    {PROTECT_KEYWORD, "PROTECT <disk> <name>...", "protect files, as DEL honours it",
     {one(Kind::place), one(Kind::names)}, KEPT, CardUse::for_volume, nullptr, protect},
    {UNPROTECT_KEYWORD, "UNPROTECT <disk> <name>...", "take files' protection away",
     {one(Kind::place), one(Kind::names)}, KEPT, CardUse::for_volume, nullptr, unprotect},
    {NAME_KEYWORD, "NAME <volume#> <name>", "rename the disk in a volume",
     {one(Kind::volume), one(Kind::disk_name)}, KEPT, CardUse::always, nullptr, name_disk},
    {FORMAT_KEYWORD, "FORMAT <volume#> [<name>]", "make a volume a new, empty disk",
     {one(Kind::volume), maybe(Kind::disk_name)}, KEPT, CardUse::always, nullptr, format_disk},
    {CLEAR_KEYWORD, "CLEAR <volume#>", "empty a volume",
     {one(Kind::volume)}, KEPT, CardUse::always, nullptr, clear_volume},
    {FIND_KEYWORD, "FIND <text>", "find disks and files by name (* and ?)",
     {one(Kind::text)}, NO_OPTIONS, CardUse::always, nullptr, find},
    {UNDO_KEYWORD, "UNDO", "take back the last change of the card",
     {}, NO_OPTIONS, CardUse::always, nullptr, undo},
    {UNDO_KEYWORD, "UNDO LIST", "list the changes UNDO can take back",
     {one(Kind::list_word)}, NO_OPTIONS, CardUse::never, nullptr, undo_list},
};
// clang-format on

struct OptionLine {
    const char* form;
    const char* meaning;
};
const OptionLine OPTION_LINES[] = {
    {"--card <device or file>", "name the card (also --card=PATH)"},
    {"--trim", "FLASH: a disk at its own size"},
    {"--force", "GET, PUT, COPY: replace a file that is there"},
    {"--text", "GET, PUT: a file as the PC's own text"},
    {"--basic", "PUT: a BASIC listing made a PROGRAM"},
    {"--as <name>", "PUT: the one file under this TI name"},
    {"--no-undo", "a change of the card that UNDO cannot take back"},
    {"--help, --version", "this text; the program's version"},
};

constexpr char PROGRAM_PREFIX[] = "slotpush ";
constexpr int LABEL_WIDTH = 10;  // "Options:  "

bool same_keyword(const char* a, const char* b) {
    return a == b || (a != nullptr && b != nullptr && std::strcmp(a, b) == 0);
}

bool all_digits(const char* text) {
    while (*text >= '0' && *text <= '9') ++text;
    return *text == '\0';
}

bool is_many(Kind kind) {
    return kind == Kind::files || kind == Kind::names;
}

// The words a row takes after its keyword: at least, and at most (-1: any number).
int least_words(const Command& command) {
    int least = 0;
    for (const Arg& arg : command.args) least += arg.kind != Kind::none && !arg.optional ? 1 : 0;
    return least;
}
int most_words(const Command& command) {
    int most = 0;
    for (const Arg& arg : command.args) {
        if (is_many(arg.kind)) return -1;
        most += arg.kind != Kind::none ? 1 : 0;
    }
    return most;
}

bool takes(const Command& command, int count) {
    const int most = most_words(command);
    return count >= least_words(command) && (most < 0 || count <= most);
}

// Whether the row's first argument can be the word: a volume is digits alone, a range is more;
// any other kind takes anything.
bool looks_like(const Command& command, const char* first) {
    switch (command.args[0].kind) {
        case Kind::volume:
            return first != nullptr && all_digits(first);
        case Kind::range:
            return first != nullptr && !all_digits(first);
        case Kind::list_word:
            return first != nullptr && std::strcmp(first, LIST_KEYWORD) == 0;
        case Kind::none:  // a row that takes no word
            return first == nullptr;
        default:
            return true;
    }
}

// "Usage:    slotpush FLASH <volume#> [<file>]", after the refusal's line.
Failure with_form(const Text& refusal, const Command& command) {
    Text words(refusal);
    words.add("\nUsage:    ").add(PROGRAM_PREFIX).add(command.form);
    return Failure::line(STATUS_USAGE, words);
}

// "7", "1-40" or "1-" (to the card's end): true, with the first and last volume (last 0: to
// the end). Anything but digits, a volume 0, a reversed range or one past 32 bits is refused.
bool parse_volume_range(const char* text, VolumeRange& range) {
    const char* end = text + std::strlen(text);
    const auto [after_first, first_error] = std::from_chars(text, end, range.first);
    if (first_error != std::errc() || range.first == 0) return false;
    range.last = range.first;
    if (after_first == end) return true;
    if (*after_first != '-') return false;
    range.last = 0;
    if (after_first + 1 == end) return true;
    const auto [after_last, last_error] = std::from_chars(after_first + 1, end, range.last);
    return last_error == std::errc() && after_last == end && range.last >= range.first;
}

Result read_range(const char* text, VolumeRange& range) {
    if (parse_volume_range(text, range)) return std::nullopt;
    Text words("The value ");
    return Failure::line(STATUS_REFUSED, words.quoted(text).add(" is an invalid volume range."));
}

// A disk's new name, blank-padded; an empty one stands for none given.
Result read_disk_name(const char* text, uint8_t (&name)[TI_NAME_BYTES]) {
    if (valid_name(text, name)) return std::nullopt;
    Text words;
    words.quoted(text).add(" is not a valid TI name ").add(TI_NAME_RULE).add(".");
    return Failure::line(STATUS_REFUSED, words);
}

// One word of the kind, into its field of args.
Result read_word(Kind kind, const char* word, Args& args) {
    switch (kind) {
        case Kind::volume:
            return read_volume(word, args.volume);
        case Kind::range:
            args.range_text = word;
            return read_range(word, args.range);
        case Kind::start:
            args.range_text = word;
            if (!all_digits(word)) return read_range(word, args.range);
            args.range.last = 0;
            return read_volume(word, args.range.first);
        case Kind::place:
        case Kind::target: {
            DiskPlace& place = kind == Kind::place ? args.place : args.target;
            if (!all_digits(word)) {
                place.file = word;
                return std::nullopt;
            }
            return read_volume(word, place.volume);
        }
        case Kind::disk_name:
            return read_disk_name(word, args.disk_name);
        case Kind::file:
            args.file = word;
            return std::nullopt;
        case Kind::name:
            args.name = word;
            return std::nullopt;
        case Kind::folder:
            args.folder = word;
            return std::nullopt;
        case Kind::text:
            args.text = word;
            return std::nullopt;
        case Kind::list_word:  // the row was chosen for it
            return std::nullopt;
        case Kind::files:
        case Kind::names:
        case Kind::none:
            break;
    }
    return std::nullopt;
}

// "--trim is for FLASH alone.", "--force is for GET, PUT and COPY alone.": the option, and the
// keywords of the rows that allow it.
Failure option_refused(const char* option, uint8_t which) {
    const char* keywords[std::size(COMMANDS)] = {};
    size_t count = 0;
    for (const Command& command : COMMANDS) {
        if ((command.options & which) == 0) continue;
        if (count == 0 || !same_keyword(command.keyword, keywords[count - 1])) {
            keywords[count++] = command.keyword;
        }
    }
    Text words(option);
    words.add(" is for ");
    for (size_t i = 0; i < count; ++i) {
        words.add(i == 0 ? "" : i + 1 == count ? " and " : ", ");
        words.add(keywords[i] != nullptr ? keywords[i] : "a write");
    }
    return Failure::line(STATUS_USAGE, words.add(" alone."));
}

// "Also:     slotpush LIST <first>[-<last>]      list what the volumes hold"
void print_usage_line(const char* label, const char* prefix, const char* form, int column,
                      const char* meaning) {
    const int width = column - LABEL_WIDTH - static_cast<int>(std::strlen(prefix));
    std::printf("%-*s%s%-*s%s\n", LABEL_WIDTH, label, prefix, width, form, meaning);
}

}  // namespace

bool valid_name(const char* text, uint8_t (&name)[TI_NAME_BYTES]) {
    return pad_name(text, std::strlen(text), name) && valid_file_name(name);
}

bool is_keyword(const char* word) {
    for (const Command& command : COMMANDS) {
        if (command.keyword != nullptr && std::strcmp(word, command.keyword) == 0) return true;
    }
    return false;
}

const Command& command_for(char* const* words, int count) {
    const char* keyword = count > 0 && is_keyword(words[0]) ? words[0] : nullptr;
    const int after = keyword != nullptr ? 1 : 0;
    const char* first = count > after ? words[after] : nullptr;
    const Command* looked = nullptr;
    const Command* any = nullptr;
    for (const Command& command : COMMANDS) {
        if (!same_keyword(command.keyword, keyword)) continue;
        if (looks_like(command, first) && takes(command, count - after)) return command;
        if (looks_like(command, first) && looked == nullptr) looked = &command;
        if (any == nullptr) any = &command;
    }
    return looked != nullptr ? *looked : *any;
}

const char* keyword_meant(const char* first_word) {
    for (const Command& command : COMMANDS) {
        if (command.keyword != nullptr && lstrcmpiA(first_word, command.keyword) == 0 &&
            !file_exists(first_word)) {
            return command.keyword;
        }
    }
    return nullptr;
}

Result read_words(const Command& command, char* const* words, int count, Args& args) {
    const int most = most_words(command);
    if (most >= 0 && count > most) {
        Text refusal("Too many arguments, from ");
        return with_form(refusal.quoted(words[most]).add(" on."), command);
    }
    if (count < least_words(command)) return with_form(Text("Too few arguments."), command);
    pad_name("", 0, args.disk_name);  // none given
    int others = 0;                   // the words the other arguments take, where one takes many
    for (const Arg& arg : command.args) others += arg.kind != Kind::none && !is_many(arg.kind);
    int next = 0;
    for (const Arg& arg : command.args) {
        if (arg.kind == Kind::none || next == count) break;
        if (is_many(arg.kind)) {
            args.list = words + next;
            args.list_count = static_cast<uint32_t>(count - others);
            next += count - others;
            continue;
        }
        if (Result refused = read_word(arg.kind, words[next++], args)) return refused;
    }
    return std::nullopt;
}

Result check_options(const Command& command, const Options& options) {
    const struct {
        bool given;
        const char* option;
        uint8_t which;
    } asked[] = {{options.trim, TRIM_OPTION, TRIM},      {options.force, FORCE_OPTION, FORCE},
                 {options.text, TEXT_OPTION, TEXT},      {options.basic, BASIC_OPTION, BASIC},
                 {options.as != nullptr, AS_OPTION, AS}, {options.no_undo, NO_UNDO_OPTION, KEPT}};
    for (const auto& option : asked) {
        if (option.given && (command.options & option.which) == 0) {
            return option_refused(option.option, option.which);
        }
    }
    return std::nullopt;
}

Result read_volume(const char* text, uint32_t& volume) {
    uint64_t value = 0;
    bool valid = *text != '\0';
    for (const char* c = text; valid && *c != '\0'; ++c) {
        valid = *c >= '0' && *c <= '9';
        value = value * 10 + static_cast<uint64_t>(*c - '0');
        valid = valid && value <= UINT32_MAX;
    }
    if (valid && value != 0) {
        volume = static_cast<uint32_t>(value);
        return std::nullopt;
    }
    Text words("The value ");
    return Failure::line(STATUS_REFUSED, words.quoted(text).add(" is an invalid volume number."));
}

void print_usage() {
    const Command& write = COMMANDS[0];
    int column = 0;  // the meanings start one blank after the widest form
    for (const Command& command : COMMANDS) {
        const auto width =
            static_cast<int>(std::strlen(PROGRAM_PREFIX) + std::strlen(command.form));
        column = width > column ? width : column;
    }
    column += LABEL_WIDTH + 1;
    std::printf("\nslotpush Version %s\n\n", VERSION);
    std::printf("Usage:    %s%s\n", PROGRAM_PREFIX, write.form);
    std::printf("Example:  slotpush c:\\ti_dsk\\dm5.dsk 5\n");
    std::printf("\n");
    const char* label = "Also:";
    for (const Command& command : COMMANDS) {
        if (command.meaning == nullptr) continue;
        print_usage_line(label, PROGRAM_PREFIX, command.form, column, command.meaning);
        label = "";
    }
    label = "Options:";
    for (const OptionLine& option : OPTION_LINES) {
        print_usage_line(label, "", option.form, column, option.meaning);
        label = "";
    }
}
