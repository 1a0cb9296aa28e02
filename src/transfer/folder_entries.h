// A folder on the PC as the tool reads it: its entries one at a time, and the names of the files
// in it, joined with the separator the user writes the folder with.
#pragma once

#include <cstddef>

#include "winapi.h"

// Copies text to out, ended; the end. (The Windows programs import no strcpy or strcat.)
char* put_text(char* out, const char* text);

// The folder's separator as the user writes it: none after one already there, '\' where the
// folder is written with those alone, else '/', which every system here takes.
const char* separator(const char* folder);

// "folder/name" into path, which holds the folder's length and MAX_PATH more.
void path_in(const char* folder, const char* name, char* path);

// Where path's last part starts: after its last separator ('/', '\' or a drive's ':').
const char* last_part(const char* path);

// A search of a folder's entries, closed however it ends.
class FolderEntries {
  public:
    // pattern holds the folder's length and MAX_PATH more.
    FolderEntries(const char* folder, char* pattern);
    FolderEntries(const FolderEntries&) = delete;
    FolderEntries& operator=(const FolderEntries&) = delete;
    ~FolderEntries();

    // Why the search found nothing: NO_ERROR where it did, or the folder is empty.
    DWORD error() const { return error_; }
    // The next entry's name, or nullptr after the last; folder says whether it is a folder.
    const char* next(bool& folder);

  private:
    HANDLE search_;
    WIN32_FIND_DATAA entry_{};
    bool has_entry_ = false;
    DWORD error_ = NO_ERROR;
    char name_[MAX_PATH] = {};
};
