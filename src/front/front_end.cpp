#include "front/front_end.h"

#include <cstdio>
#include <cstring>
#include <optional>

#include "device/card_choice.h"
#include "front/command_table.h"
#include "front/run_lines.h"
#include "slotpush.h"
#include "transfer/change_store.h"

namespace {

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
    static const char AS_EQUALS[] = "--as=";
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
        } else if (std::strcmp(word, TEXT_OPTION) == 0) {
            options.text = true;
        } else if (std::strcmp(word, BASIC_OPTION) == 0) {
            options.basic = true;
        } else if (std::strcmp(word, NO_UNDO_OPTION) == 0) {
            options.no_undo = true;
        } else if (const char* name = after_prefix(word, AS_EQUALS)) {
            options.as = name;
        } else if (std::strcmp(word, AS_OPTION) == 0 && i + 1 < argc) {
            options.as = argv[++i];
        } else if (const char* rest = after_prefix(word, CARD_EQUALS)) {
            card = rest;
        } else if (std::strcmp(word, CARD_OPTION) == 0 && i + 1 < argc) {
            card = argv[++i];
        } else {
            if (std::strcmp(word, CARD_OPTION) == 0) {
                std::printf("--card needs a device or a file.\n");
            } else if (std::strcmp(word, AS_OPTION) == 0) {
                std::printf("--as needs a TI name.\n");
            } else {
                std::printf("Unknown option '%s'.\n", word);
            }
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

// The card named on the command line, else the one the drive-choice file stores, else the one
// the user picks from the listing; none (its reason said) when there is none.
std::optional<Card> settle_card(const Options& options, const char* program) {
    if (options.card != nullptr) {
        Card card;
        if (Result refused = name_card(options.card, card)) {
            say_failure(*refused);
            return std::nullopt;
        }
        return card;
    }
    int32_t stored = NO_DRIVE;
    if (!load_drive_choice(program, stored)) return std::nullopt;
    if (stored != NO_DRIVE) return physical_drive_card(stored);
    return choose_card();  // the listing says why when none is chosen
}

// Whether the row's run works on the card: always, or where one of its disks is a volume.
bool needs_card(const Command& command, const Args& args) {
    const bool volume = args.place.file == nullptr ||
                        (command.args[1].kind == Kind::target && args.target.file == nullptr);
    return command.card == CardUse::always || (command.card == CardUse::for_volume && volume);
}

// The card a command works on, as its row says: settled for a command that needs one (false
// where none is, its reason said); for an image file's command, a card named with --card is
// known all the same, so that nothing is saved over it.

bool settle_for(const Command& command, const Args& args, const Options& options,
                const char* program, std::optional<Card>& card) {
    if (needs_card(command, args)) {
        card = settle_card(options, program);
        return card.has_value();
    }
    Card named;
    if (command.card == CardUse::for_volume && options.card != nullptr &&
        !name_card(options.card, named)) {
        card = named;
    }
    return true;
}

// The row's words read, its options checked, its own checks made, then the card settled and
// the command run: its status, its failure said.
int run_command(const Command& command, char** words, int count, const Options& options,
                const char* program) {
    const int after = command.keyword != nullptr ? 1 : 0;
    Args args;
    Result refused = read_words(command, words + after, count - after, args);
    if (!refused && options.card != nullptr && options.card[0] == '\0') {
        refused = Failure::line(STATUS_REFUSED, Text("--card names no card: its name is empty."));
    }
    if (!refused) refused = check_options(command, options);
    if (!refused && command.check != nullptr) refused = command.check(args, options);
    if (refused) return say_failure(*refused);
    std::optional<Card> card;
    if (!settle_for(command, args, options, program, card)) return STATUS_REFUSED;
    // A change of the card keeps what it replaces, in the store the front end finds for it.
    ChangeKeeping keeping;
    const bool kept =
        needs_card(command, args) && (command.options & KEPT) != 0 && !options.no_undo;
    if (kept) {
        if (Result refused = prepare_keeping(words, count, keeping)) {
            return say_failure(*refused);
        }
        card->keeping = &keeping;
    }
    args.place.card = args.target.card = card ? &*card : nullptr;
    const Result failed = command.run({args, card ? &*card : nullptr, options});
    if (kept) prune_store(keeping.folder);
    return failed ? say_failure(*failed) : RESULT_SUCCESS;
}

}  // namespace

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
    if (count == 0 || (count == 1 && !is_keyword(words[0]))) {
        print_usage();
        return STATUS_USAGE;
    }
    if (const char* meant = is_keyword(words[0]) ? nullptr : keyword_meant(words[0])) {
        std::printf("There is no file '%s'; did you mean %s?\n", words[0], meant);
        return STATUS_USAGE;
    }
    return run_command(command_for(words, count), words, count, options, argv[0]);
}

int slotpush_process(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);  // each line out as it is said, to a file too
    hold_interruptions();
    int status = slotpush_main(argc, argv);
    if (std::ferror(stdout) && status == RESULT_SUCCESS) status = STATUS_OUTPUT_LOST;
    if (std::ferror(stdout)) std::fputs("slotpush: its output could not be written.\n", stderr);
    return status;
}
