#include "device/slot_check.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "device/failure_detail.h"
#include "slotpush.h"
#include "winapi.h"

namespace {

// Appends text, or a number's digits, at the end of the line being built.
class Line {
  public:
    Line& operator<<(const char* text) {
        const size_t length = std::min(std::strlen(text), sizeof text_ - 1 - used_);
        std::memcpy(text_ + used_, text, length);
        used_ += length;
        return *this;
    }
    Line& operator<<(uint64_t number) {
        used_ = static_cast<size_t>(
            std::to_chars(text_ + used_, text_ + sizeof text_ - 1, number).ptr - text_);
        return *this;
    }
    const char* text() {
        text_[used_] = '\0';
        return text_;
    }

  private:
    char text_[160] = {};
    size_t used_ = 0;
};

}  // namespace

bool holds_what_was_written(std::span<const uint8_t> written, std::span<const uint8_t> read_back,
                            uint64_t byte_offset) {
    const auto [differs, unused] = std::mismatch(written.begin(), written.end(), read_back.begin());
    if (differs == written.end()) return true;
    Line line;
    line << "volume " << byte_offset / SLOT_BYTES + 1
         << " on the card does not hold what was written; the first difference is at byte "
         << static_cast<uint64_t>(differs - written.begin()) << " of its slot";
    set_failure_detail(line.text());
    SetLastError(NO_ERROR);
    return false;
}
