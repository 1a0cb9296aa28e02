#include "winapi.h"

// Windows names the drive-choice file after argument 0 exactly as typed: "slotpush" typed at a
// prompt reads slotpCFG in the current folder, as it always has.
const char* program_path(const char* typed) {
    return typed;
}

// Windows' own names are the ones the listing shows.
BOOL native_drive_names(LPCSTR, LPSTR, DWORD, LPSTR, DWORD) {
    return FALSE;
}

// Windows opens its own device paths.
BOOL native_device_path(LPCSTR, LPSTR, DWORD) {
    return FALSE;
}

// Windows' own reason for a disk in use is the one the outcome line gives.
BOOL native_disk_mounts(LPCSTR, LPSTR, DWORD) {
    return FALSE;
}

// The drive-choice file is created empty when missing, as it always was on Windows.
BOOL creates_drive_choice_file() {
    return TRUE;
}

// A refused disk is one an administrator may open.
BOOL runs_with_every_right() {
    return FALSE;
}
