#include "transfer/disk_directory.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "transfer/volume_transfer.h"

namespace {

constexpr size_t INDEX_SECTOR = 1;
// A file descriptor record.
constexpr size_t FLAGS = 12;
constexpr size_t ALLOCATED = 14;  // big-endian count of the file's data sectors, 2 bytes
constexpr size_t RECORD_LENGTH = 17;
constexpr uint8_t PROGRAM = 0x01;
constexpr uint8_t INTERNAL = 0x02;
constexpr uint8_t PROTECTED = 0x08;
constexpr uint8_t VARIABLE = 0x80;

uint32_t big_endian(const uint8_t* bytes) {
    return uint32_t{bytes[0]} << 8 | bytes[1];
}

// "PROGRAM", or the record format and length: "DIS/VAR 80".
void describe_type(const uint8_t* record, char (&type)[12]) {
    const uint8_t flags = record[FLAGS];
    if ((flags & PROGRAM) != 0) {
        std::memcpy(type, "PROGRAM", sizeof "PROGRAM");
        return;
    }
    std::memcpy(type, (flags & INTERNAL) != 0 ? "INT/" : "DIS/", 4);
    std::memcpy(type + 4, (flags & VARIABLE) != 0 ? "VAR " : "FIX ", 4);
    *std::to_chars(type + 8, type + sizeof type - 1, record[RECORD_LENGTH]).ptr = '\0';
}

// The entry for the record at sector of the image, as a file or why it is none.
DirectoryEntry read_entry(ConstImageView image, uint32_t sector) {
    DirectoryEntry entry;
    entry.sector = sector;
    const uint8_t* record = image.data() + size_t{sector} * IMAGE_SECTOR_BYTES;
    if (!show_name(record, entry.name)) {
        entry.kind = DirectoryEntry::Kind::not_a_record;
        return entry;
    }
    entry.sectors = big_endian(record + ALLOCATED) + 1;  // and the record itself
    describe_type(record, entry.type);
    entry.is_protected = (record[FLAGS] & PROTECTED) != 0;
    return entry;
}

void print_entry(const DirectoryEntry& entry) {
    using Kind = DirectoryEntry::Kind;
    switch (entry.kind) {
        case Kind::file:
            std::printf("%-10s  %4lu  ", entry.name, static_cast<unsigned long>(entry.sectors));
            if (entry.is_protected) {
                std::printf("%-11s  P\n", entry.type);
            } else {
                std::printf("%s\n", entry.type);
            }
            return;
        case Kind::the_index:
            std::printf("(an index entry points at sector 1, the index itself)\n");
            return;
        case Kind::past_the_end:
            std::printf("(an index entry points at sector %lu, past the disk's end)\n",
                        static_cast<unsigned long>(entry.sector));
            return;
        case Kind::listed_already:
            std::printf("(an index entry points at sector %lu again)\n",
                        static_cast<unsigned long>(entry.sector));
            return;
        case Kind::not_a_record:
            std::printf("%-10s  (sector %lu: not a file's record, its name is not text)\n",
                        entry.name, static_cast<unsigned long>(entry.sector));
            return;
    }
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

}  // namespace

Directory read_directory(ConstImageView image) {
    Directory directory;
    directory.disk = summarise_volume(image.first<IMAGE_SECTOR_BYTES>());
    if (directory.disk.kind != VolumeSummary::Kind::disk) return directory;
    // A record lies after the index and inside both the disk and the image.
    const uint32_t end = std::min(directory.disk.sectors, IMAGE_SECTORS);
    const uint8_t* index = image.data() + INDEX_SECTOR * IMAGE_SECTOR_BYTES;
    bool seen[IMAGE_SECTORS] = {};
    for (uint32_t i = 0; i < MOST_FILES; ++i) {
        const uint32_t sector = big_endian(index + 2 * i);
        if (sector == 0) break;  // the index's end
        DirectoryEntry& entry = directory.entries[directory.count++];
        if (sector == INDEX_SECTOR || sector >= end) {
            entry.kind = sector == INDEX_SECTOR ? DirectoryEntry::Kind::the_index
                                                : DirectoryEntry::Kind::past_the_end;
            entry.sector = sector;
        } else if (seen[sector]) {
            entry.kind = DirectoryEntry::Kind::listed_already;
            entry.sector = sector;
        } else {
            seen[sector] = true;
            entry = read_entry(image, sector);
            if (entry.kind == DirectoryEntry::Kind::file) {
                ++directory.files;
                directory.used += entry.sectors;
            }
        }
    }
    return directory;
}

Outcome list_volume_files(const Card& card, uint32_t volume) {
    Outcome outcome;
    const Buffer raw = read_slot(card, volume, outcome);
    if (!raw) return outcome;
    const Buffer image = obtain<uint8_t>(IMAGE_BYTES);
    if (!image) return failed_with_last_error(RESULT_NO_SOURCE);
    deinterleave({raw.get(), SLOT_BYTES}, {image.get(), IMAGE_BYTES});
    const Subject subject{volume, card.shown, nullptr};
    if (print_directory(subject, read_directory(ConstImageView{image.get(), IMAGE_BYTES}))) {
        return succeeded();
    }
    return failed(RESULT_NO_SOURCE, NO_ERROR, Outcome::About::listed);
}

Outcome list_image_files(const char* path) {
    Outcome outcome;
    const Buffer image = prepare_image(path, outcome);
    if (!image) return outcome;
    print_directory({0, nullptr, path}, read_directory(ConstImageView{image.get(), IMAGE_BYTES}));
    return succeeded();
}
