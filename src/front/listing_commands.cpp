// What the card and its disks hold: the catalogue of volumes, a disk's files, and a search of
// both by name.
#include <charconv>
#include <cstdio>
#include <cstring>

#include "device/system_text.h"
#include "front/commands.h"
#include "front/run_lines.h"
#include "transfer/card_search.h"
#include "transfer/catalogue.h"

namespace {

// "41", or "3-40" for a run: the volume column's text.
struct Volumes {
    Volumes(uint32_t first, uint32_t last) {
        constexpr size_t MOST_DIGITS = 10;  // of a 32-bit number
        char* end = std::to_chars(text, text + MOST_DIGITS, first).ptr;
        if (last != first) {
            *end++ = '-';
            end = std::to_chars(end, end + MOST_DIGITS, last).ptr;
        }
        *end = '\0';
    }
    char text[2 * 10 + 2] = {};
};

// The volume column is as wide as the widest run it can show, and never narrower than its
// header, so that the columns stay aligned however far the card reaches.
int column_width(uint32_t last) {
    constexpr int HEADER_WIDTH = 6;  // "Volume"
    const int widest =
        static_cast<int>(std::strlen(Volumes(last > 1 ? last - 1 : last, last).text));
    return widest > HEADER_WIDTH ? widest : HEADER_WIDTH;
}

// The catalogue's lines: a header once the card opens, a line a volume, and the empty slots
// found one after another as one line once their run ends.
class CatalogueView {
  public:
    explicit CatalogueView(const VolumeRange& range) : range_(range) {}

    void opened(std::optional<uint32_t> whole_volumes) {
        // Where neither the range nor the card says where the list ends, it is aligned up to
        // 99999.
        constexpr uint32_t WIDEST_UNKNOWN_END = 99999;
        const uint32_t last = range_.last;
        width_ = column_width(last != 0 ? last : whole_volumes.value_or(WIDEST_UNKNOWN_END));
        std::printf("%*s  Name        Sectors  Free  Prot\n", width_, "Volume");
    }

    void volume(const CatalogueEntry& entry) {
        const VolumeSummary& summary = entry.summary;
        if (entry.error == NO_ERROR && summary.kind == VolumeSummary::Kind::empty) {
            if (empty_count_++ == 0) empty_first_ = entry.volume;
            return;
        }
        end_empty_run();
        const Volumes column(entry.volume, entry.volume);
        if (entry.error != NO_ERROR) {
            Text reason;
            std::printf("%*s  (not read: %s)\n", width_, column.text,
                        add_system_text(reason, entry.error).c_str());
            first_unread_ = first_unread_ || entry.volume == range_.first;
        } else if (summary.kind == VolumeSummary::Kind::not_a_disk) {
            std::printf("%*s  (not a TI disk)\n", width_, column.text);
        } else {
            std::printf("%*s  %-10s  %7lu  %4lu%s\n", width_, column.text, summary.name,
                        static_cast<unsigned long>(summary.sectors),
                        static_cast<unsigned long>(summary.free),
                        summary.is_protected ? "  P" : "");
        }
    }

    void end_empty_run() {
        if (empty_count_ > 0) {
            std::printf("%*s  (empty)\n", width_,
                        Volumes(empty_first_, empty_first_ + empty_count_ - 1).text);
        }
        empty_count_ = 0;
    }

    // The first volume could not be read: the catalogue fails, its line said.
    bool first_unread() const { return first_unread_; }

  private:
    VolumeRange range_;
    int width_ = 6;
    uint32_t empty_first_ = 0;
    uint32_t empty_count_ = 0;
    bool first_unread_ = false;
};

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

// The header, the files and the count: "Volume 5 on /dev/sdb holds GAMES: ...". A disk with a
// damaged entry (one that names no sound file, or lies past a hole) is listed whole, and the run
// fails; a place that holds no TI disk gets the catalogue's word for it.
Result print_directory(const DiskPlace& place, const Directory& directory) {
    const VolumeSummary& disk = directory.disk;
    if (place.file != nullptr) {
        std::printf("The image file '%s'", place.file);
    } else {
        std::printf("Volume %s on %s", Decimal(place.volume).text, place.card->shown);
    }
    if (disk.kind != VolumeSummary::Kind::disk) {
        std::printf(": %s\n",
                    disk.kind == VolumeSummary::Kind::empty ? "(empty)" : "(not a TI disk)");
        return Failure::said(RESULT_NO_SOURCE);
    }
    std::printf(" holds %s: %lu sectors, %lu free.\n",
                disk.name[0] != '\0' ? disk.name : "a disk without a name",
                static_cast<unsigned long>(disk.sectors), static_cast<unsigned long>(disk.free));
    std::printf("Name        Size  Type\n");
    for (uint32_t i = 0; i < directory.count; ++i) {
        print_entry_text(directory.entries[i]);
        std::printf("%s\n", directory.entries[i].past_hole ? "  (past an empty index entry)" : "");
    }
    std::printf("%lu file%s, %lu sectors used.\n", static_cast<unsigned long>(directory.files),
                directory.files == 1 ? "" : "s", static_cast<unsigned long>(directory.used));
    if (directory.files != directory.count || directory.hole != 0) {
        return Failure::said(RESULT_FILES_LEFT);
    }
    return std::nullopt;
}

void print_found(const Found& found) {
    std::printf("%6s  ", Decimal(found.volume).text);
    if (found.error != NO_ERROR) {
        Text reason;
        std::printf("(not read: %s)\n", add_system_text(reason, found.error).c_str());
        return;
    }
    if (found.file == nullptr) {
        std::printf("%s\n", found.disk);
        return;
    }
    std::printf("%-10s  %-10s  %-11s  %5s\n", found.disk, found.file->name, found.file->type,
                Decimal(found.file->sectors).text);
}

}  // namespace

Result list(const CommandRun& run) {
    CatalogueView view(run.args.range);
    const auto opened = [&](std::optional<uint32_t> whole) { view.opened(whole); };
    const auto volume = [&](const CatalogueEntry& entry) { view.volume(entry); };
    uint32_t ends_after = 0;
    Result failed = read_catalogue(*run.card, run.args.range.first, run.args.range.last,
                                   {opened, volume}, ends_after);
    view.end_empty_run();
    if (failed) return failed;
    if (ends_after != 0)
        std::printf("The card ends after volume %lu.\n", static_cast<unsigned long>(ends_after));
    return view.first_unread() ? Result(Failure::said(RESULT_NO_SOURCE)) : Result();
}

Result dir(const CommandRun& run) {
    Directory directory;
    if (Result failed = read_directory_at(run.args.place, directory)) return failed;
    return print_directory(run.args.place, directory);
}

// FIND TEXT: the disks and files whose names hold the text.
Result find(const CommandRun& run) {
    std::printf("Volume  Disk        File        Type          Size\n");
    Search search;
    if (Result failed = find_on_card(*run.card, run.args.text, print_found, search)) {
        return failed;
    }
    if (search.found == 0) std::printf("Nothing on the card holds '%s'.\n", run.args.text);
    std::printf("%s found; %s bytes read.\n", Decimal(search.found).text,
                Decimal(search.read_bytes).text);
    return search.unread > 0 ? Result(Failure::said(RESULT_NO_SOURCE)) : Result();
}
