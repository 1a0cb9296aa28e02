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

// MoveFileExA is found when first asked for, as the 9x family has none: the program then starts
// there too, and moves an old file aside before the new one takes its name.
BOOL replace_by_move(LPCSTR from, LPCSTR to) {
    using MoveEx = BOOL(WINAPI*)(LPCSTR, LPCSTR, DWORD);
    const HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    const auto move = kernel != nullptr ? reinterpret_cast<MoveEx>(reinterpret_cast<void*>(
                                              GetProcAddress(kernel, "MoveFileExA")))
                                        : nullptr;
    if (move == nullptr) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    return move(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

// A file is written where it is named.
LPCSTR native_line_end() {
    return "\r\n";
}

// The user's own application data: the local one (2000 and later), else the roaming one (98
// with a profile, NT 4); Windows 95 names neither, and the folder beside the program serves.
BOOL user_state_folder(LPSTR path, DWORD path_bytes) {
    static const char FOLDER[] = "\\slotpush";
    static const char* const VARIABLES[] = {"LOCALAPPDATA", "APPDATA"};
    for (const char* variable : VARIABLES) {
        const DWORD length = GetEnvironmentVariableA(variable, path, path_bytes);
        if (length == 0 || length + sizeof FOLDER > path_bytes) continue;
        for (DWORD i = 0; i < sizeof FOLDER; ++i) path[length + i] = FOLDER[i];
        return TRUE;
    }
    static const char BESIDE_PROGRAM[] = "slotpush-undo";
    const DWORD length = GetModuleFileNameA(nullptr, path, path_bytes);
    if (length == 0 || length >= path_bytes) return FALSE;
    DWORD part = length;
    while (part > 0 && path[part - 1] != '\\' && path[part - 1] != '/') --part;
    if (part == 0 || part + sizeof BESIDE_PROGRAM > path_bytes) return FALSE;
    for (DWORD i = 0; i < sizeof BESIDE_PROGRAM; ++i) path[part + i] = BESIDE_PROGRAM[i];
    return TRUE;
}

BOOL linked_path(LPCSTR, LPSTR, DWORD) {
    return FALSE;
}

namespace {

// A Ctrl-C noted by the console's handler, which Windows runs on a thread of its own.
volatile LONG interruption = 0;

// The first Ctrl-C or Ctrl-Break is noted and handled; any later one, and the console's other
// events (its window closed, the user logging off), go on to the system's handler, which ends
// the program.
BOOL WINAPI note_interruption(DWORD event) {
    if ((event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) || interruption != 0) return FALSE;
    interruption = 1;
    return TRUE;
}

}  // namespace

void hold_interruptions() {
    SetConsoleCtrlHandler(note_interruption, TRUE);
}

BOOL interrupted() {
    return interruption != 0 ? TRUE : FALSE;
}

// A disk's claim is the lock of its volumes, taken before it is opened.
BOOL claim_for_writing(HANDLE) {
    return TRUE;
}
