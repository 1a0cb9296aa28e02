#include "device/card_failure.h"

#include "device/system_text.h"

namespace {

Failure failure_of(const Card& card, int32_t status, DWORD error, const char* what) {
    Text words;
    if (what != nullptr) words.add(what).add(": ");
    add_card_reason(words, error, card.path);
    return Failure(status, words, error);
}

}  // namespace

Failure card_failure(const Card& card, int32_t status, DWORD error, const char* what) {
    return failure_of(card, status, error, what).within(card.shown);
}

Failure volume_failure(const Card& card, int32_t status, DWORD error, uint64_t byte_offset,
                       const char* what) {
    return failure_of(card, status, error, what).within(volume_on(card, volume_at(byte_offset)));
}

Text volume_on(const Card& card, uint32_t volume) {
    return Text("volume ").number(volume).add(" on ").add(card.shown);
}
