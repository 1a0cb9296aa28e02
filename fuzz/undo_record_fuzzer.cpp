// Any bytes as the newest record of UNDO's store: UNDO LIST and UNDO read it without a fault
// and nothing stays open; where UNDO refuses, the card is as it was, and where it puts runs
// back, every byte that changed lies in a run the record keeps and holds what that run kept.
#include <cstdio>
#include <cstring>

#include "device/change_record.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/undo_card.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::freopen("/dev/null", "w", stdout);  // the lines are not what is tested
    return 0;
}

namespace {

// Whether byte i of the card is where the record's kept runs put it back, with what they hold;
// the last run over it counts, as it is put back first and the first last.
bool put_back_at(std::span<const RecordEntry> entries, size_t i, uint8_t held) {
    for (const RecordEntry& kept : entries) {
        if (!kept.kept || i < kept.byte_offset || i >= kept.byte_offset + kept.length) continue;
        return held == (kept.uniform ? kept.value : kept.body[i - kept.byte_offset]);
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<uint8_t> written = [] {  // made once: the fake's files are values
        undo_card::written(false);
        return fake::machine().files["card.img"];
    }();
    fake::reset();
    fake::Machine& m = fake::machine();
    m.files["card.img"] = written;
    m.directories.insert("state");
    m.files[undo_card::RECORD] = {data, data + size};
    m.files["copy.undo"] = m.files[undo_card::RECORD];
    const std::vector<uint8_t> before = m.files["card.img"];
    undo_card::run({"slotpush", "--card", "card.img", "UNDO", "LIST"});
    const int status = undo_card::run({"slotpush", "--card", "card.img", "UNDO"});
    const std::vector<uint8_t>& after = m.files["card.img"];
    FUZZ_CHECK(after.size() == before.size());
    if (status != 0) FUZZ_CHECK(after == before);
    RecordReader reader;
    const bool loaded = !reader.load("copy.undo");
    for (size_t sector = 0; sector < after.size(); sector += DEVICE_SECTOR_BYTES) {
        if (std::memcmp(&after[sector], &before[sector], DEVICE_SECTOR_BYTES) == 0) continue;
        for (size_t i = sector; i < sector + DEVICE_SECTOR_BYTES; ++i) {
            if (after[i] == before[i]) continue;
            FUZZ_CHECK(loaded && put_back_at(reader.entries(), i, after[i]));
        }
    }
    FUZZ_CHECK(m.open_handle_count() == 0);
    return 0;
}
