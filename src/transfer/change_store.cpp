#include "transfer/change_store.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "transfer/folder_entries.h"

namespace {

// Makes the folder and the folders above it that are missing. Where it cannot be made, the
// reason is the first folder's that could not be: those below it are only missing.
DWORD make_folders(char* folder) {
    DWORD first = NO_ERROR;
    for (char* c = folder + 1;; ++c) {
        const char held = *c;
        if (held != '/' && held != '\\' && held != '\0') continue;
        *c = '\0';
        const bool made = CreateDirectoryA(folder, nullptr) != FALSE;
        DWORD error = made ? NO_ERROR : GetLastError();
        *c = held;
        if (error == ERROR_ALREADY_EXISTS) error = NO_ERROR;
        if (first == NO_ERROR) first = error;
        if (held == '\0') return error == NO_ERROR ? NO_ERROR : first;
    }
}

// The number of a record's name ("00000012.undo"), or 0 for any other name.
uint32_t record_number(const char* name) {
    uint32_t number = 0;
    const char* end = name + std::strlen(name);
    const auto [after, error] = std::from_chars(name, end, number);
    const bool record = error == std::errc() && after == name + RECORD_NUMBER_DIGITS &&
                        std::strcmp(after, RECORD_SUFFIX) == 0;
    return record ? number : 0;
}

uint64_t size_of(const char* path) {
    const HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    uint64_t size = 0;
    seek_to_end(file, size);
    CloseHandle(file);
    return size;
}

}  // namespace

Result store_folder(char (&folder)[MAX_PATH]) {
    if (!user_state_folder(folder, sizeof folder)) {
        return Failure::line(STATUS_REFUSED,
                             Text("UNDO has no folder to keep changes in: the system names none "
                                  "for this user (on Linux, no HOME is set).\n--no-undo makes a "
                                  "change without it."));
    }
    if (const DWORD error = make_folders(folder)) {
        Text what("the folder for UNDO ");
        what.quoted(folder).add(" (--no-undo makes a change without it)");
        return Failure::system(RESULT_CREATE_FAILED, error, what.c_str());
    }
    return std::nullopt;
}

Result prepare_keeping(char* const* words, int count, ChangeKeeping& keeping) {
    keeping = {};
    if (Result failed = store_folder(keeping.folder)) return failed;
    StoredRecord records[MOST_STORED];
    keeping.number = stored_records(keeping.folder, records, false) > 0 ? records[0].number + 1 : 1;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const auto two = [](char* at, unsigned value) {
        at[0] = static_cast<char>('0' + value / 10 % 10);
        at[1] = static_cast<char>('0' + value % 10);
    };
    char* when = keeping.when;  // "2026-12-10 16:45:12"
    two(when, now.wYear / 100u), two(when + 2, now.wYear % 100u);
    when[4] = '-', two(when + 5, now.wMonth), when[7] = '-', two(when + 8, now.wDay);
    when[10] = ' ', two(when + 11, now.wHour), when[13] = ':', two(when + 14, now.wMinute);
    when[16] = ':', two(when + 17, now.wSecond);
    // The words, one blank between them; where they do not all fit, " ..." after the last that
    // does, for which each word but the last leaves room.
    constexpr char MORE[] = " ...";
    constexpr size_t ROOM = sizeof keeping.command - 1;
    size_t at = 0;
    for (int i = 0; i < count; ++i) {
        const size_t length = std::strlen(words[i]);
        const size_t blank = i > 0 ? 1 : 0;
        if (at + blank + length + (i + 1 < count ? sizeof MORE - 1 : 0) > ROOM) {
            std::memcpy(keeping.command + at, MORE + 1 - blank, sizeof MORE - 1 + blank);
            break;
        }
        if (blank != 0) keeping.command[at++] = ' ';
        std::memcpy(keeping.command + at, words[i], length);
        at += length;
    }
    return std::nullopt;
}

size_t stored_records(const char* folder, StoredRecord (&records)[MOST_STORED], bool sizes) {
    char pattern[2 * MAX_PATH] = {};
    FolderEntries entries(folder, pattern);
    size_t count = 0;
    bool is_folder = false;
    while (const char* name = entries.next(is_folder)) {
        const uint32_t number = is_folder ? 0 : record_number(name);
        if (number == 0 || count == MOST_STORED) continue;
        char path[MAX_PATH] = {};
        record_path(folder, number, path);
        records[count++] = {number, sizes ? size_of(path) : 0};
    }
    std::sort(records, records + count,
              [](const StoredRecord& a, const StoredRecord& b) { return a.number > b.number; });
    return count;
}

void prune_store(const char* folder) {
    StoredRecord records[MOST_STORED];
    const size_t count = stored_records(folder, records);
    uint64_t bytes = 0;
    for (size_t i = 0; i < count; ++i) {
        bytes += records[i].bytes;
        if (i == 0 || (i < KEPT_CHANGES_BOUND && bytes <= KEPT_BYTES_BOUND)) continue;
        char path[MAX_PATH] = {};
        record_path(folder, records[i].number, path);
        DeleteFileA(path);
    }
}
