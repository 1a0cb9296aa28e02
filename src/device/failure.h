// A step that failed, as the line that says so: its status and its words, made where the failing
// call returned, as "volume 2 on card.img: the write failed: " and the system's own reason. Each
// layer on the way up puts its own context in front (the card, then the volume, then the file);
// the front end prints the words after "slotpull failed: " and ends the run with the status. A
// failure whose words are a line of their own ("Not a supported TI/99-4A format: ...") is
// printed as it stands, and one the run's own lines have said is not printed again.
#pragma once

#include <cstdint>
#include <optional>

#include "slotpush.h"
#include "text.h"
#include "winapi.h"

class Failure {
  public:
    // What failed, said after "slotpull failed: "; error, the system's code where it gave the
    // reason.
    Failure(int32_t status, const Text& words, DWORD error = NO_ERROR)
        : status_(status), error_(error), words_(words) {}

    // The system's reason for error, after what failed where that is given: "<what>: <reason>".
    static Failure system(int32_t status, DWORD error, const char* what = nullptr);
    // A line of its own, printed as it stands.
    static Failure line(int32_t status, const Text& words);
    // Said already by the run's own lines.
    static Failure said(int32_t status);

    // Puts "context: " in front of the words, where they say what failed.
    Failure& within(const Text& context);
    Failure& within(const char* context) { return within(Text(context)); }
    // Adds a line of its own after the failure's, as a run of many says where it stopped.
    Failure& then(const Text& line);

    int32_t status() const { return status_; }
    // The system's code for why, where the system gave the reason; NO_ERROR otherwise.
    DWORD error() const { return error_; }
    const Text& words() const { return words_; }
    bool own_line() const { return own_line_; }

  private:
    int32_t status_;
    DWORD error_ = NO_ERROR;
    bool own_line_ = false;
    Text words_;
};

// What a step came to: nothing where it succeeded, else its failure.
using Result = std::optional<Failure>;

// A Ctrl-C that stopped a run between two of its steps.
inline Failure stopped_by_ctrl_c() {
    return Failure::line(RESULT_INTERRUPTED, Text("Stopped by Ctrl-C."));
}

// A failure whose system call has just returned: the thread's last error, taken at once.
inline Failure last_error_failure(int32_t status, const char* what = nullptr) {
    return Failure::system(status, GetLastError(), what);
}
