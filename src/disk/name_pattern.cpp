#include "disk/name_pattern.h"

#include <cctype>

namespace {

bool same_letter(char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) ==
           std::toupper(static_cast<unsigned char>(b));
}

// The pattern p matches the start of s, or with whole all of s.
bool matches(const char* p, const char* s, bool whole) {
    for (; *p != '\0'; ++p, ++s) {
        if (*p == '*') {
            for (;; ++s) {
                if (matches(p + 1, s, whole)) return true;
                if (*s == '\0') return false;
            }
        }
        if (*s == '\0' || (*p != '?' && !same_letter(*p, *s))) return false;
    }
    return !whole || *s == '\0';
}

}  // namespace

bool has_wildcards(const char* pattern) {
    for (; *pattern != '\0'; ++pattern) {
        if (*pattern == '*' || *pattern == '?') return true;
    }
    return false;
}

bool matches_pattern(const char* pattern, const char* name) {
    return matches(pattern, name, true);
}

bool name_holds(const char* name, const char* text) {
    for (const char* from = name;; ++from) {
        if (matches(text, from, false)) return true;
        if (*from == '\0') return false;
    }
}
