#include "transfer/folder_entries.h"

#include <cstring>

char* put_text(char* out, const char* text) {
    const size_t length = std::strlen(text);
    std::memcpy(out, text, length + 1);
    return out + length;
}

const char* separator(const char* folder) {
    const size_t length = std::strlen(folder);
    if (length == 0 || folder[length - 1] == '/' || folder[length - 1] == '\\') return "";
    bool back = false;
    bool forward = false;
    for (const char* c = folder; *c != '\0'; ++c) {
        back = back || *c == '\\';
        forward = forward || *c == '/';
    }
    return back && !forward ? "\\" : "/";
}

void path_in(const char* folder, const char* name, char* path) {
    put_text(put_text(put_text(path, folder), separator(folder)), name);
}

const char* last_part(const char* path) {
    const char* part = path;
    for (const char* c = path; *c != '\0'; ++c) {
        if (*c == '/' || *c == '\\' || *c == ':') part = c + 1;
    }
    return part;
}

FolderEntries::FolderEntries(const char* folder, char* pattern) {
    path_in(folder, "*", pattern);
    search_ = FindFirstFileA(pattern, &entry_);
    has_entry_ = search_ != INVALID_HANDLE_VALUE;
    if (!has_entry_ && GetLastError() != ERROR_FILE_NOT_FOUND) error_ = GetLastError();
}

FolderEntries::~FolderEntries() {
    if (search_ != INVALID_HANDLE_VALUE) FindClose(search_);
}

namespace {

// Windows lists a folder's own entries "." and ".." among its files.
bool is_dots(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

const char* FolderEntries::next(bool& folder) {
    while (has_entry_) {
        std::memcpy(name_, entry_.cFileName, sizeof name_);
        folder = (entry_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        has_entry_ = FindNextFileA(search_, &entry_) != FALSE;
        if (!is_dots(name_)) return name_;
    }
    return nullptr;
}
