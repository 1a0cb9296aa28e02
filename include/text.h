// Words put together for a line of the console: texts and numbers added at the end, a context
// put in front, all in a buffer of its own that outlives whatever the words came from. Longer
// words are cut at its end. (The Windows programs import no strcat, no memmove and no C++
// strings.)
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

class Text {
  public:
    static constexpr size_t CAPACITY = 2048;

    Text() = default;
    explicit Text(const char* text) { add(text); }

    Text& add(const char* text) {
        for (; text != nullptr && *text != '\0' && length_ + 1 < CAPACITY; ++text) {
            chars_[length_++] = *text;
        }
        chars_[length_] = '\0';
        return *this;
    }
    Text& add(const Text& text) { return add(text.c_str()); }
    // The number's decimal digits.
    Text& number(uint64_t value) {
        char digits[24] = {};
        *std::to_chars(digits, digits + sizeof digits - 1, value).ptr = '\0';
        return add(digits);
    }
    // The text in single quotes, as the console names a file.
    Text& quoted(const char* text) { return add("'").add(text).add("'"); }

    // Puts context in front of the words.
    Text& put_in_front(const Text& context) {
        Text whole = context;
        whole.add(*this);
        return *this = whole;
    }

    const char* c_str() const { return chars_; }
    bool empty() const { return length_ == 0; }

  private:
    char chars_[CAPACITY] = {};
    size_t length_ = 0;
};
