#include "device/card_claim.h"

namespace {

// Another program holds the card (a card file open for writing, a disk's exclusive claim):
// asked again every 20 ms, for two seconds.
constexpr int CLAIM_ATTEMPTS = 100;
constexpr DWORD CLAIM_RETRY_MILLISECONDS = 20;

bool held_elsewhere(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_BUSY;
}

}  // namespace

Result claim_while_held(FunctionRef<Result()> claim, FunctionRef<void()> let_go) {
    for (int attempt = 1;; ++attempt) {
        Result claimed = claim();
        if (!claimed || !held_elsewhere(claimed->error()) || attempt == CLAIM_ATTEMPTS) {
            return claimed;
        }
        let_go();
        Sleep(CLAIM_RETRY_MILLISECONDS);
    }
}

Result CardClaim::take() {
    const auto claim = [&] {
        Result claimed = card.access->claim(*this);
        taken = !claimed;
        return claimed;
    };
    const auto let_go = [&] {
        card.access->release(*this);
        handle.reset(INVALID_HANDLE_VALUE);
        volumes.reset();
    };
    return claim_while_held(claim, let_go);
}
