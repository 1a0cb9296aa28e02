// Names matched against a pattern: * stands for any run of characters and ? for any one, and
// letters match in either case, as a PC's own wildcards match file names.
#pragma once

// Whether the pattern holds * or ?.
bool has_wildcards(const char* pattern);

// Whether the pattern matches the whole name.
bool matches_pattern(const char* pattern, const char* name);

// Whether the name holds text anywhere, text matched as a pattern.
bool name_holds(const char* name, const char* text);
