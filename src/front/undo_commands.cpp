// UNDO and UNDO LIST.
#include <cstdio>

#include "front/commands.h"
#include "front/run_lines.h"
#include "transfer/change_store.h"
#include "transfer/image_rules.h"
#include "transfer/undo.h"

Result undo(const CommandRun& run) {
    char folder[MAX_PATH] = {};
    if (Result failed = store_folder(folder)) return failed;
    const Card& card = *run.card;
    const auto said = [&](const VolumeUndone& undone) {
        std::printf("Volume %s on %s ", Decimal(undone.volume).text, card.shown);
        switch (undone.holds.kind) {
            case DiskLabel::Kind::empty:
                std::printf("is empty again.\n");
                break;
            case DiskLabel::Kind::not_a_disk:
                std::printf("holds what it held again, which is not a TI disk.\n");
                break;
            case DiskLabel::Kind::disk:
                std::printf("holds %s again.\n", disk_text(undone.holds));
                break;
            case DiskLabel::Kind::unknown:
                std::printf("holds what it held again.\n");
                break;
        }
    };
    RecordHeader undone;
    if (Result failed = undo_change(card, folder, said, undone)) return failed;
    std::printf("UNDO took back %s of %s.\n", undone.command, undone.when);
    return std::nullopt;
}

Result undo_list(const CommandRun&) {
    char folder[MAX_PATH] = {};
    if (Result failed = store_folder(folder)) return failed;
    const auto said = [](const KeptChange& change) {
        std::printf("%s  %s  volume%s %s  %s bytes  %s\n", change.header->when,
                    change.header->card_shown, change.volume_count > 1 ? "s" : "", change.volumes,
                    Decimal(change.bytes).text, change.header->command);
    };
    if (list_changes(folder, said) == 0) std::printf("Nothing is kept for UNDO.\n");
    return std::nullopt;
}
