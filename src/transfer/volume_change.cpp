#include "transfer/volume_change.h"

#include "device/card_failure.h"
#include "device/card_reader.h"
#include "disk/directory.h"
#include "transfer/image_rules.h"
#include "transfer/slot_layout.h"

Result claim_card(const Card& card, uint32_t last, CardClaim& claim) {
    {
        CardReader reader(card);
        if (!reader.opened()) {
            const auto whole = reader.whole_volumes();
            if (whole && last > *whole) return reader.past_end(last);
            if (reader.is_pc_disk()) {
                Text words(card.shown);
                words.add(" is a fixed disk with partitions, not a card; nothing was written.");
                return Failure(RESULT_WRITE_FAILED, words);
            }
        }
    }
    return claim.take();
}

Failure volume_read_failure(const Card& card, uint32_t volume, DWORD error) {
    return volume_failure(card, RESULT_NO_SOURCE, error, volume_byte_offset(volume));
}

DiskLabel label_through(CardClaim& claim, uint32_t volume) {
    const Pages sector = obtain_pages(DEVICE_SECTOR_BYTES);
    if (!sector || claim.read({sector.get(), DEVICE_SECTOR_BYTES}, volume_byte_offset(volume))) {
        return DiskLabel{};
    }
    return label_of(summarise_slot(
        std::span<const uint8_t, DEVICE_SECTOR_BYTES>{sector.get(), DEVICE_SECTOR_BYTES}));
}

DWORD read_disk_records(const SlotRead& read, uint32_t volume, uint32_t from, uint8_t* raw,
                        uint8_t* disk, uint64_t& read_bytes) {
    const uint64_t start = volume_byte_offset(volume);
    const size_t bytes = size_t{FIRST_SECTORS - from} * DEVICE_SECTOR_BYTES;
    if (const DWORD error = read({raw, bytes}, start + uint64_t{from} * DEVICE_SECTOR_BYTES)) {
        return error;
    }
    read_bytes += bytes;
    deinterleave({raw, bytes}, {disk + size_t{from} * IMAGE_SECTOR_BYTES, bytes / 2});
    const DiskBytes image{disk, IMAGE_BYTES};
    const uint32_t total = total_sectors(sector_of(image, 0));
    DWORD error = NO_ERROR;
    uint32_t hole = 0;  // the records past a hole are read too: the catalogue lists them
    walk_index(
        sector_of(image, INDEX_SECTOR),
        [&](uint32_t, uint32_t record) {
            if (error != NO_ERROR || record < FIRST_SECTORS || record >= total ||
                record >= IMAGE_SECTORS) {
                return;
            }
            error =
                read({raw, DEVICE_SECTOR_BYTES}, start + uint64_t{record} * DEVICE_SECTOR_BYTES);
            if (error != NO_ERROR) return;
            read_bytes += DEVICE_SECTOR_BYTES;
            deinterleave({raw, DEVICE_SECTOR_BYTES},
                         {disk + size_t{record} * IMAGE_SECTOR_BYTES, IMAGE_SECTOR_BYTES});
        },
        hole);
    return error;
}

Result read_claimed_records(CardClaim& claim, uint32_t volume, uint8_t* disk) {
    const Pages raw = obtain_pages(size_t{FIRST_SECTORS} * DEVICE_SECTOR_BYTES);
    if (!raw) return last_error_failure(RESULT_NO_SOURCE);
    uint64_t read_bytes = 0;
    const auto through = [&](std::span<uint8_t> buffer, uint64_t byte_offset) {
        return claim.read(buffer, byte_offset);
    };
    if (const DWORD error = read_disk_records(through, volume, 0, raw.get(), disk, read_bytes)) {
        return volume_read_failure(claim.card, volume, error);
    }
    return std::nullopt;
}

Result write_volume_sectors(CardClaim& claim, uint32_t volume, std::span<const uint8_t> disk,
                            std::span<const ChangedSector> order) {
    if (order.empty()) return std::nullopt;
    const Pages raw = obtain_pages(order.size() * DEVICE_SECTOR_BYTES);
    const Owned<CardWrite> runs = obtain<CardWrite>(order.size());
    if (!raw || !runs) return last_error_failure(RESULT_WRITE_FAILED);
    size_t count = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        const std::span<uint8_t> sector{raw.get() + i * DEVICE_SECTOR_BYTES, DEVICE_SECTOR_BYTES};
        const ChangedSector& changed = order[i];
        const std::span<const uint8_t> bytes =
            changed.bytes != nullptr
                ? std::span<const uint8_t>{changed.bytes, IMAGE_SECTOR_BYTES}
                : disk.subspan(size_t{changed.sector} * IMAGE_SECTOR_BYTES, IMAGE_SECTOR_BYTES);
        interleave(bytes, sector);
        const uint64_t offset =
            volume_byte_offset(volume) + uint64_t{changed.sector} * DEVICE_SECTOR_BYTES;
        CardWrite* last = count > 0 ? &runs[count - 1] : nullptr;
        const bool same_step = last != nullptr && order[i - 1].step == changed.step;
        if (same_step && last->byte_offset + last->bytes.size() == offset) {
            last->bytes = {last->bytes.data(), last->bytes.size() + DEVICE_SECTOR_BYTES};
            continue;
        }
        if (last != nullptr) last->ends_step = !same_step;
        runs[count++] = {sector, offset, true};
    }
    const auto prepare = [&](size_t i, CardWrite& run) -> Result {
        run = runs[i];
        return std::nullopt;
    };
    return claim.write({count, prepare, no_run_written});
}
