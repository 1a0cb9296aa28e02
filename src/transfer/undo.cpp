#include "transfer/undo.h"

#include <algorithm>
#include <cstring>

#include "device/card_claim.h"
#include "transfer/change_store.h"
#include "transfer/volume_change.h"

namespace {

// The volumes of a record's kept runs (where only is given, of those it marks), in order, each
// once; how many.
size_t volumes_of(std::span<const RecordEntry> entries, uint32_t* volumes,
                  const bool* only = nullptr) {
    size_t count = 0;
    for (size_t k = 0; k < entries.size(); ++k) {
        if (entries[k].kept && (only == nullptr || only[k])) {
            volumes[count++] = volume_at(entries[k].byte_offset);
        }
    }
    std::sort(volumes, volumes + count);
    return static_cast<size_t>(std::unique(volumes, volumes + count) - volumes);
}

// The last volume a record's kept runs reach.
uint32_t last_volume(std::span<const RecordEntry> entries) {
    uint32_t last = 1;
    for (const RecordEntry& entry : entries) {
        if (entry.kept) last = std::max(last, volume_at(entry.byte_offset));
    }
    return last;
}

// Lists as long as a record's entries: the kept runs whose volumes changed since, those to put
// back, and room for the volumes of either.
struct EntryLists {
    explicit EntryLists(size_t count)
        : volumes(obtain<uint32_t>(count + 1)),
          changed(obtain<bool>(count + 1)),
          restore(obtain<bool>(count + 1)) {}
    bool whole() const { return volumes && changed && restore; }

    Owned<uint32_t> volumes;
    Owned<bool> changed;
    Owned<bool> restore;
};

// "1-3, 7": volumes in order, each run of them as its first and last.
Text volume_list(const uint32_t* volumes, size_t count) {
    Text words;
    for (size_t i = 0; i < count;) {
        size_t last = i;
        while (last + 1 < count && volumes[last + 1] == volumes[last] + 1) ++last;
        words.add(i == 0 ? "" : ", ").number(volumes[i]);
        if (last > i) words.add("-").number(volumes[last]);
        i = last + 1;
    }
    return words;
}

// The newest record of the store that is of this card and wrote something: its reader, loaded.
// One that wrote nothing is passed over, not let go: it may be a change's still being kept.
bool newest_for(const Card& card, const char* folder, RecordReader& reader, char* path) {
    StoredRecord records[MOST_STORED];
    const size_t count = stored_records(folder, records, false);
    for (size_t i = 0; i < count; ++i) {
        record_path(folder, records[i].number, path);
        if (!reader.load(path) && reader.of(card) && reader.wrote()) return true;
    }
    return false;
}

// The left entries in the order of their places on the card (and, at one place, of their
// making), so that the one over a sector is found without a walk over them all.
size_t order_lefts(std::span<const RecordEntry> entries, size_t* lefts) {
    size_t count = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].kept) lefts[count++] = i;
    }
    std::sort(lefts, lefts + count, [&](size_t a, size_t b) {
        return entries[a].byte_offset != entries[b].byte_offset
                   ? entries[a].byte_offset < entries[b].byte_offset
                   : a < b;
    });
    return count;
}

// What the change left in one device sector of a kept run: the digest of the last left entry
// over it, or none where no run of the change reached it. No run is longer than a slot, so only
// the entries placed less than a slot before the sector can reach it.
std::optional<uint64_t> left_in(std::span<const RecordEntry> entries, const size_t* lefts,
                                size_t count, uint64_t byte_offset) {
    const size_t* after =
        std::upper_bound(lefts, lefts + count, byte_offset,
                         [&](uint64_t at, size_t i) { return at < entries[i].byte_offset; });
    const RecordEntry* last = nullptr;
    size_t last_made = 0;
    for (const size_t* at = after; at-- != lefts;) {
        const RecordEntry& left = entries[*at];
        if (left.byte_offset + SLOT_BYTES <= byte_offset) break;
        if (byte_offset < left.byte_offset + left.length && (last == nullptr || *at > last_made)) {
            last = &left;
            last_made = *at;
        }
    }
    if (last == nullptr) return std::nullopt;
    return last->sector_digest(
        static_cast<uint32_t>((byte_offset - last->byte_offset) / DEVICE_SECTOR_BYTES));
}

// The kept run's old bytes into out.
void old_bytes(const RecordEntry& kept, uint8_t* out) {
    if (kept.uniform) {
        std::memset(out, kept.value, kept.length);
    } else {
        std::memcpy(out, kept.body, kept.length);
    }
}

// Whether each kept run must be put back (into restore), from what the card holds now: where a
// sector holds neither what the change left nor what it replaced, its volume has changed since,
// and the run is marked in changed.
Result compare_with_card(CardClaim& claim, std::span<const RecordEntry> entries, bool* restore,
                         bool* changed) {
    const Pages now = obtain_pages(SLOT_BYTES);
    const Pages old = obtain_pages(SLOT_BYTES);
    const Owned<size_t> lefts = obtain<size_t>(entries.size() + 1);
    if (!now || !old || !lefts) return last_error_failure(RESULT_NO_SOURCE);
    const size_t left_count = order_lefts(entries, lefts.get());
    for (size_t k = 0; k < entries.size(); ++k) {
        const RecordEntry& kept = entries[k];
        if (!kept.kept) continue;
        if (const DWORD error = claim.read({now.get(), kept.length}, kept.byte_offset)) {
            return volume_read_failure(claim.card, volume_at(kept.byte_offset), error);
        }
        old_bytes(kept, old.get());
        for (uint32_t at = 0; at < kept.length; at += DEVICE_SECTOR_BYTES) {
            const uint64_t held = digest_of({now.get() + at, DEVICE_SECTOR_BYTES});
            const std::optional<uint64_t> left =
                left_in(entries, lefts.get(), left_count, kept.byte_offset + at);
            if (left && held == *left) {
                restore[k] = true;
            } else if (held != digest_of({old.get() + at, DEVICE_SECTOR_BYTES})) {
                changed[k] = true;
                break;
            }
        }
    }
    return std::nullopt;
}

// "Volumes 3 and 5 on card.img have changed since FORMAT 3 (2026-12-10 16:45:12) was kept;
// UNDO puts nothing back."
Failure changed_since(const Card& card, const RecordHeader& header, const uint32_t* changed,
                      size_t count) {
    Text words(count == 1 ? "Volume " : "Volumes ");
    words.add(volume_list(changed, count)).add(" on ").add(card.shown);
    words.add(count == 1 ? " has" : " have").add(" changed since ").add(header.command);
    words.add(" (").add(header.when).add(") was kept; UNDO puts nothing back.");
    return Failure::line(RESULT_CHANGE_REFUSED, words);
}

// The kept runs that must be put back, last first, each a step of its own.
Result put_back(CardClaim& claim, std::span<const RecordEntry> entries, const bool* restore) {
    const Pages buffer = obtain_pages(SLOT_BYTES);
    if (!buffer) return last_error_failure(RESULT_WRITE_FAILED);
    const Owned<size_t> order = obtain<size_t>(entries.size() + 1);
    if (!order) return last_error_failure(RESULT_WRITE_FAILED);
    size_t count = 0;
    for (size_t k = entries.size(); k-- > 0;) {
        if (restore[k]) order[count++] = k;
    }
    const auto prepare = [&](size_t i, CardWrite& run) -> Result {
        const RecordEntry& kept = entries[order[i]];
        old_bytes(kept, buffer.get());
        run = {{buffer.get(), kept.length}, kept.byte_offset, true};
        return std::nullopt;
    };
    return claim.write({count, prepare, no_run_written});
}

}  // namespace

Result undo_change(const Card& card, const char* folder, UndoneLine on_undone,
                   RecordHeader& undone) {
    RecordReader reader;
    char path[MAX_PATH] = {};
    if (!newest_for(card, folder, reader, path)) {
        Text words("Nothing is kept for UNDO of ");
        return Failure::line(STATUS_REFUSED, words.add(card.shown).add("."));
    }
    CardClaim claim(card);
    if (Result refused = claim_card(card, last_volume(reader.entries()), claim)) return refused;
    // Read again under the claim: the change may have gone on writing while it was awaited.
    if (Result failed = reader.load(path)) return failed;
    const std::span<const RecordEntry> entries = reader.entries();
    EntryLists lists(entries.size());
    if (!lists.whole()) return last_error_failure(RESULT_NO_SOURCE);
    bool* restore = lists.restore.get();
    uint32_t* volumes = lists.volumes.get();
    if (Result failed = compare_with_card(claim, entries, restore, lists.changed.get())) {
        return failed;
    }
    if (const size_t changed = volumes_of(entries, volumes, lists.changed.get())) {
        return changed_since(card, reader.header(), volumes, changed);
    }
    if (Result failed = put_back(claim, entries, restore)) return failed;
    // A line for each volume put back, in order.
    const size_t put = volumes_of(entries, volumes, restore);
    for (size_t i = 0; i < put; ++i) on_undone({volumes[i], label_through(claim, volumes[i])});
    undone = reader.header();
    DeleteFileA(path);
    return std::nullopt;
}

uint32_t list_changes(const char* folder, KeptLine on_change) {
    StoredRecord records[MOST_STORED];
    const size_t count = stored_records(folder, records);
    uint32_t listed = 0;
    for (size_t i = 0; i < count; ++i) {
        RecordReader reader;
        char path[MAX_PATH] = {};
        record_path(folder, records[i].number, path);
        if (reader.load(path) || !reader.wrote()) continue;
        const Owned<uint32_t> volumes = obtain<uint32_t>(reader.entries().size() + 1);
        if (!volumes) continue;
        const size_t volume_count = volumes_of(reader.entries(), volumes.get());
        const Text listed_volumes = volume_list(volumes.get(), volume_count);
        on_change({&reader.header(), listed_volumes.c_str(), volume_count, records[i].bytes});
        ++listed;
    }
    return listed;
}
