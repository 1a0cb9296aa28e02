#include "front/run_lines.h"

#include <cstdio>

#include "printable.h"
#include "transfer/folder_entries.h"
#include "transfer/image_rules.h"

int32_t say_failure(const Failure& failure) {
    if (!failure.own_line()) {
        std::printf("slotpull failed: %s\n", failure.words().c_str());
    } else if (!failure.words().empty()) {
        std::printf("%s\n", failure.words().c_str());
    }
    if (failure.status() == RESULT_CHANGE_REFUSED) std::printf("Nothing was changed.\n");
    return failure.status();
}

void say_succeeded() {
    std::printf("slotpull succeeded.\n");
}

void say_volume_written(const Card& card, const VolumeWritten& written) {
    using Kind = DiskLabel::Kind;
    std::printf("Volume %s on %s ", Decimal(written.volume).text, card.shown);
    switch (written.held.kind) {
        case Kind::empty:
            std::printf("was empty; it ");
            break;
        case Kind::not_a_disk:
            std::printf("held something that is not a TI disk; it ");
            break;
        case Kind::disk:
            std::printf("held %s; it ", disk_text(written.held));
            break;
        case Kind::unknown:
            break;  // what it held could not be read
    }
    if (written.holds.kind == Kind::empty) {
        std::printf("is now empty.\n");
    } else {
        // A backup written back may hold something else.
        const bool disk = written.holds.kind != Kind::not_a_disk;
        std::printf("now holds %s.\n",
                    disk ? disk_text(written.holds) : "something that is not a TI disk");
    }
    if (written.reach != 0) {
        std::printf(
            "Its sector 0 said %s sectors, fewer than the %s its files use: those stay marked "
            "used.\n",
            Decimal(written.said_total).text, Decimal(written.reach).text);
    }
}

namespace {

// Why a trimmed read-back kept 1600 sectors, by Trimmed::Why.
const char* const TRIM_WHY[] = {
    "it uses sectors past its own end",
    "a file of it lies past its own end, whatever its bitmap says",
    "its own geometry gives more sectors than a slot holds",
};

// Why a file was saved under a name other than its own, after "saved as NAME", by Renamed.
const char* const RENAMED[] = {
    "",
    ", as its own names a device on a PC",
    ", as a name that starts with '.' is hidden on a PC",
    ", as its own is not text",
    ", as another file of this run has its own",
    ", as its own names the card or the disk being read",
};

// "LOAD (PROGRAM, 34 sectors)": a file as its lines name it.
void print_file(const SavedFile& file) {
    std::printf("%s (%s, %s sectors)", file.name, file.type, Decimal(file.sectors).text);
}

}  // namespace

void say_volume_saved(const Card& card, const VolumeSaved& saved) {
    std::printf("Volume %s on %s (%s) saved as %s", Decimal(saved.volume).text, card.shown,
                disk_text(saved.holds), saved.path);
    switch (saved.trimmed.kind) {
        case Trimmed::Kind::whole:
            break;
        case Trimmed::Kind::cut:
            std::printf(", cut to its own %s sectors", Decimal(saved.trimmed.sectors).text);
            break;
        case Trimmed::Kind::regeometried:
            std::printf(
                ", 1600 sectors with its geometry made 2 sides x 40 tracks x 20 sectors: %s",
                TRIM_WHY[static_cast<size_t>(saved.trimmed.why)]);
            break;
    }
    if (saved.whole_slot) std::printf(", the whole slot: its odd bytes are not all the filler");
    std::printf(".\n");
}

namespace {

// How a file went as text: ", 12 lines of text", ", a listing of 10 lines".
void print_lines(const SavedFile& file) {
    if (file.lines == 0 && !file.listing) return;
    std::printf(file.listing ? ", a listing of %s line%s" : ", %s line%s of text",
                Decimal(file.lines).text, file.lines == 1 ? "" : "s");
}

// ", in place of the file there": a PUT or COPY with --force that replaced one.
const char* replaced(const SavedFile& file) {
    return file.was[0] != '\0' ? ", in place of the file of that name" : "";
}

}  // namespace

void say_saved_file(const SavedFile& saved, const DiskPlace& place) {
    print_file(saved);
    std::printf(" from %s saved as %s%s", place_words(place).c_str(), saved.path,
                RENAMED[static_cast<size_t>(saved.renamed)]);
    print_lines(saved);
    std::printf(".\n");
}

void say_put_file(const SavedFile& put, const DiskPlace& place) {
    print_file(put);
    std::printf(" from %s put on %s%s.\n", put.path, place_words(place).c_str(), replaced(put));
}

void say_copied_file(const SavedFile& copied, const DiskPlace& from, const DiskPlace& to) {
    print_file(copied);
    std::printf(" copied from %s", place_words(from).c_str());
    std::printf(" to %s%s.\n", place_words(to).c_str(), replaced(copied));
}

void say_renamed_file(const SavedFile& renamed, const DiskPlace& place) {
    SavedFile was = renamed;
    put_text(was.name, renamed.was);
    print_file(was);
    std::printf(" on %s renamed %s.\n", place_words(place).c_str(), renamed.name);
}

void say_protected_file(const SavedFile& file, const DiskPlace& place, bool on) {
    print_file(file);
    std::printf(" on %s %s.\n", place_words(place).c_str(), on ? "protected" : "unprotected");
}

void say_dump(std::span<const uint8_t> bytes) {
    constexpr size_t ROW = 16;
    for (size_t at = 0; at < bytes.size(); at += ROW) {
        std::printf("%06X ", static_cast<unsigned>(at));
        for (size_t k = 0; k < ROW; ++k) {
            if (at + k < bytes.size()) {
                std::printf(" %02X", bytes[at + k]);
            } else {
                std::printf("   ");
            }
        }
        std::printf("  ");
        for (size_t k = 0; k < ROW && at + k < bytes.size(); ++k) {
            const uint8_t byte = bytes[at + k];
            std::putchar(is_printable(byte) ? byte : '.');
        }
        std::printf("\n");
    }
}

void say_deleted_file(const SavedFile& deleted, const DiskPlace& place) {
    print_file(deleted);
    std::printf(" deleted from %s.\n", place_words(place).c_str());
}

void say_change_done(const ChangeDone& done, const DiskPlace& place, const char* verb) {
    if (done.saved_as_sector_dump) {
        std::printf("The image file '%s' was a track dump; it is saved as its sector dump.\n",
                    place.file);
    }
    std::printf("%s file%s %s; %s sectors free.\n", Decimal(done.files).text,
                done.files == 1 ? "" : "s", verb, Decimal(done.free).text);
}
