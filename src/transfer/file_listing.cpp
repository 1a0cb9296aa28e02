#include "transfer/file_listing.h"

#include <cstdio>

#include "transfer/volume_transfer.h"

namespace {

void print_entry_text(const DirectoryEntry& entry) {
    using Kind = DirectoryEntry::Kind;
    switch (entry.kind) {
        case Kind::file:
            std::printf("%-10s  %4lu  ", entry.name, static_cast<unsigned long>(entry.sectors));
            if (entry.is_protected) {
                std::printf("%-11s  P", entry.type);
            } else {
                std::printf("%s", entry.type);
            }
            return;
        case Kind::the_index:
            std::printf("(an index entry points at sector 1, the index itself)");
            return;
        case Kind::past_the_end:
            std::printf("(an index entry points at sector %lu, past the disk's end)",
                        static_cast<unsigned long>(entry.sector));
            return;
        case Kind::listed_already:
            std::printf("(an index entry points at sector %lu again)",
                        static_cast<unsigned long>(entry.sector));
            return;
        case Kind::not_a_record:
            std::printf("%-10s  (sector %lu: not a file's record, its name is not text)",
                        entry.name, static_cast<unsigned long>(entry.sector));
            return;
    }
}

// An entry's line; one after a hole in the index says so, as the TI never reads it.
void print_entry(const DirectoryEntry& entry) {
    print_entry_text(entry);
    std::printf("%s\n", entry.past_hole ? "  (past an empty index entry)" : "");
}

// Whether the directory holds an entry that names no sound file, or lies past a hole.
bool damaged(const Directory& directory) {
    return directory.files != directory.count || directory.hole != 0;
}

// Where the disk lies: volume N of the card, or an image file.
struct Subject {
    uint32_t volume;
    const char* card_name;
    const char* file;
};

void print_subject(const Subject& subject) {
    if (subject.file != nullptr) {
        std::printf("The image file '%s'", subject.file);
    } else {
        std::printf("Volume %lu on %s", static_cast<unsigned long>(subject.volume),
                    subject.card_name);
    }
}

// The header, the files and the count; false (with the catalogue's word said) for no TI disk.
bool print_directory(const Subject& subject, const Directory& directory) {
    const VolumeSummary& disk = directory.disk;
    print_subject(subject);
    if (disk.kind != VolumeSummary::Kind::disk) {
        std::printf(": %s\n",
                    disk.kind == VolumeSummary::Kind::empty ? "(empty)" : "(not a TI disk)");
        return false;
    }
    std::printf(" holds %s: %lu sectors, %lu free.\n",
                disk.name[0] != '\0' ? disk.name : "a disk without a name",
                static_cast<unsigned long>(disk.sectors), static_cast<unsigned long>(disk.free));
    std::printf("Name        Size  Type\n");
    for (uint32_t i = 0; i < directory.count; ++i) print_entry(directory.entries[i]);
    std::printf("%lu file%s, %lu sectors used.\n", static_cast<unsigned long>(directory.files),
                directory.files == 1 ? "" : "s", static_cast<unsigned long>(directory.used));
    return true;
}

// The listing's outcome: a disk with a damaged entry is listed whole, and its run fails.
Outcome listed(const Subject& subject, const Directory& directory) {
    if (!print_directory(subject, directory)) {
        return failed(RESULT_NO_SOURCE, NO_ERROR, Outcome::About::listed);
    }
    if (damaged(directory)) return failed(RESULT_FILES_LEFT, NO_ERROR, Outcome::About::listed);
    return succeeded();
}

}  // namespace

Outcome list_volume_files(const Card& card, uint32_t volume) {
    Outcome outcome;
    const Buffer image = read_volume_image(card, volume, outcome);
    if (!image) return outcome;
    return listed({volume, card.shown, nullptr}, read_directory({image.get(), IMAGE_BYTES}));
}

Outcome list_image_files(const char* path) {
    Outcome outcome;
    size_t present = 0;
    const Buffer image = prepare_image(path, outcome, &present);
    if (!image) return outcome;
    return listed({0, nullptr, path}, read_directory({image.get(), present}));
}
