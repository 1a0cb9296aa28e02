// What a step of a transfer came to, carried back to the front end as a value: its status, the
// system's code for why it failed (taken where the failing call returned), and what the failure
// was about where the code alone does not say. The front end prints the outcome line from it.
#pragma once

#include <cstdint>

#include "slotpush.h"
#include "winapi.h"

struct Outcome {
    enum class About : uint8_t {
        system,           // the system's reason alone
        card_volume,      // a volume on the card could not be locked: letter
        slot_differs,     // the card does not hold what was written: volume, byte
        not_an_image,     // the image carries no volume signature
        image_too_large,  // the image file is longer than a disk image: byte (its length)
        past_card_end,    // a catalogue starts past the card's end: volume, byte (its whole
                          // volumes, 0 where unknown)
        listed,           // the catalogue's own lines have said all there is
    };
    int32_t status = RESULT_SUCCESS;
    DWORD error = NO_ERROR;
    About about = About::system;
    char letter = 0;
    uint64_t volume = 0;
    uint64_t byte = 0;

    bool failed() const { return status != RESULT_SUCCESS; }
};

inline Outcome succeeded() {
    return {};
}

inline Outcome failed(int32_t status, DWORD error, Outcome::About about = Outcome::About::system) {
    return {status, error, about};
}

// A failure whose system call has just returned: the thread's last error is taken at once.
inline Outcome failed_with_last_error(int32_t status) {
    return failed(status, GetLastError());
}
