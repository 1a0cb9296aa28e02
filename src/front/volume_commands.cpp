// The commands that write or read back a whole volume, and a volume's own housekeeping.
#include <cstdio>

#include "front/commands.h"
#include "front/run_lines.h"
#include "transfer/volume_edit.h"
#include "transfer/volume_transfer.h"

namespace {

// The images named as a source of slots, one a volume from the run's first on, handed to use.
template <typename Use>
Result with_image_slots(const Args& args, Use use) {
    const auto volume = [&](uint32_t i) { return args.range.first + i; };
    const auto fill = [&](uint32_t i, std::span<uint8_t> slot, VolumeWritten& written) {
        return fill_from_image(args.list[i], false, slot, written);
    };
    return use(SlotSource{args.list_count, volume, fill});
}

// "Volumes 3 to 4 were written; 5 to 7 were not.": where a run of many stopped.
Text run_stopped(uint32_t first, uint32_t written, uint32_t count) {
    const uint32_t stopped = first + written;
    const uint32_t last = first + count - 1;
    Text words;
    if (written == 0) {
        return words.add("No volume was written (")
            .number(stopped)
            .add(" to ")
            .number(last)
            .add(").");
    }
    words.add(written == 1 ? "Volume " : "Volumes ").number(first);
    if (written > 1) words.add(" to ").number(first + written - 1);
    words.add(written == 1 ? " was" : " were").add(" written; ").number(stopped);
    if (written + 1 < count) words.add(" to ").number(last);
    return words.add(written + 1 < count ? " were not." : " was not.");
}

Result succeeded(const Result& result) {
    if (!result) say_succeeded();
    return result;
}

// NAME, FORMAT and CLEAR: the volume, and the disk's name where one is taken.
Result edit(const CommandRun& run, VolumeEdit how) {
    const Card& card = *run.card;
    const auto said = [&](const VolumeWritten& written) { say_volume_written(card, written); };
    return succeeded(edit_volume(card, run.args.volume, how, run.args.disk_name, said));
}

}  // namespace

Result write_one(const CommandRun& run) {
    const Card& card = *run.card;
    const auto said = [&](const VolumeWritten& written) { say_volume_written(card, written); };
    return succeeded(write_volume_from(card, run.args.file, run.args.volume, said));
}

// Many image files: the last word is the first volume, or a range they must fit; every image is
// read before the card is settled.
Result check_write_many(const Args& args, const Options&) {
    const uint32_t count = args.list_count;
    const VolumeRange& range = args.range;
    if ((range.last != 0 && count > range.last - range.first + 1) ||
        range.first > UINT32_MAX - (count - 1)) {
        Text words;
        words.number(count).add(" files do not fit volumes ").add(args.range_text);
        return Failure::line(STATUS_REFUSED, words.add("; nothing was written."));
    }
    return with_image_slots(args, check_slots);
}

Result write_many(const CommandRun& run) {
    const Card& card = *run.card;
    const auto said = [&](const VolumeWritten& written) { say_volume_written(card, written); };
    RunProgress progress;
    Result failed = with_image_slots(run.args, [&](const SlotSource& slots) {
        return write_volume_run(card, slots, said, progress);
    });
    if (failed && progress.began) {
        failed->then(run_stopped(run.args.range.first, progress.written, run.args.list_count));
    }
    return succeeded(failed);
}

Result read_back(const CommandRun& run) {
    const Card& card = *run.card;
    const auto said = [&](const VolumeSaved& saved) { say_volume_saved(card, saved); };
    const char* file = run.args.file != nullptr ? run.args.file : FLASH_KEYWORD;
    return succeeded(read_volume_back(card, run.args.volume, file, run.options.trim, said));
}

Result name_disk(const CommandRun& run) {
    return edit(run, VolumeEdit::rename);
}

Result format_disk(const CommandRun& run) {
    return edit(run, VolumeEdit::format);
}

Result clear_volume(const CommandRun& run) {
    return edit(run, VolumeEdit::clear);
}
