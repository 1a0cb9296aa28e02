// A change of a card that keeps its changes: what every run will replace is read through the
// claim and kept, the record flushed, and only then is the card written, each run's digests
// kept before the run itself is written.
#include "device/card_claim.h"
#include "device/card_failure.h"
#include "device/change_record.h"

namespace {

// Calls each(offset, length) for the run's pieces of at most a slot, as a record's entries hold.
template <typename Each>
Result for_pieces(CardSpan span, Each each) {
    for (size_t done = 0; done < span.bytes; done += SLOT_BYTES) {
        const size_t length = span.bytes - done < SLOT_BYTES ? span.bytes - done : SLOT_BYTES;
        if (Result failed = each(span.byte_offset + done, done, length)) return failed;
    }
    return std::nullopt;
}

Result keep_span(CardClaim& claim, RecordWriter& record, CardSpan span, uint8_t* buffer) {
    return for_pieces(span, [&](uint64_t byte_offset, size_t, size_t length) -> Result {
        const std::span<uint8_t> old{buffer, length};
        if (const DWORD error = claim.read(old, byte_offset)) {
            return volume_failure(claim.card, RESULT_NO_SOURCE, error, byte_offset, STEP_KEEP);
        }
        return record.keep(byte_offset, old);
    });
}

Result keep_left(RecordWriter& record, const CardWrite& run) {
    return for_pieces({run.byte_offset, run.bytes.size()},
                      [&](uint64_t byte_offset, size_t done, size_t length) {
                          return record.left(byte_offset, run.bytes.subspan(done, length));
                      });
}

// Where run i goes: told by the source, or made in place where its runs stay.
Result span_of(const WriteSource& runs, size_t i, CardWrite& made, CardSpan& span) {
    if (runs.place) {
        span = (*runs.place)(i);
        return std::nullopt;
    }
    if (Result refused = runs.prepare(i, made)) return refused;
    span = {made.byte_offset, made.bytes.size()};
    return std::nullopt;
}

// "This change replaces 98304000 bytes of card.img; UNDO keeps at most 67108864 (64 MiB)."
Result too_large(const Card& card, const WriteSource& runs) {
    uint64_t change_bytes = 0;
    CardWrite made;
    CardSpan span;
    for (size_t i = 0; i < runs.count; ++i) {
        if (Result refused = span_of(runs, i, made, span)) return refused;
        change_bytes += span.bytes;
    }
    Text words("This change replaces ");
    words.number(change_bytes).add(" bytes of ").add(card.shown).add("; UNDO keeps at most ");
    words.number(KEPT_BYTES_BOUND).add(" (").number(KEPT_BYTES_BOUND >> 20).add(" MiB).");
    return Failure::line(RESULT_CHANGE_REFUSED, words)
        .then(Text("--no-undo makes it without a way back."));
}

// Every run's old bytes kept (and, where the runs stay in place, their digests too), then the
// record flushed: nothing of the card is written yet.
Result keep_all(CardClaim& claim, const WriteSource& runs, RecordWriter& record) {
    const Pages buffer = obtain_pages(SLOT_BYTES);
    if (!buffer) return last_error_failure(RESULT_NO_SOURCE);
    CardWrite made;
    CardSpan span;
    for (size_t i = 0; i < runs.count; ++i) {
        if (Result refused = span_of(runs, i, made, span)) return refused;
        if (Result failed = keep_span(claim, record, span, buffer.get())) return failed;
        if (record.kept_bytes() > KEPT_BYTES_BOUND) return too_large(claim.card, runs);
        if (!runs.place) {
            if (Result failed = keep_left(record, made)) return failed;
        }
    }
    return record.flush();
}

// The record made whole for what the card will lose, then the card written; a run of many
// keeps each volume's digests, flushed, before it writes the volume.
Result keep_and_write(CardClaim& claim, const WriteSource& runs, RecordWriter& record,
                      bool& wrote) {
    if (Result failed = keep_all(claim, runs, record)) return failed;
    const auto prepare = [&](size_t i, CardWrite& run) -> Result {
        if (Result refused = runs.prepare(i, run)) return refused;
        if (runs.place) {
            if (Result failed = keep_left(record, run)) return failed;
            if (Result failed = record.flush()) return failed;
        }
        wrote = true;
        return std::nullopt;
    };
    return claim.card.access->write(claim, {runs.count, prepare, runs.written});
}

}  // namespace

Result CardClaim::write(const WriteSource& runs) {
    if (card.keeping == nullptr) return card.access->write(*this, runs);
    RecordWriter record;
    bool wrote = false;
    Result result = record.open(*card.keeping, card);
    if (!result) result = keep_and_write(*this, runs, record, wrote);
    record.close(!wrote);  // a record of nothing written goes, however far it came
    return result;
}
