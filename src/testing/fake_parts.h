// The parts of the scripted machine, a file for each concern: what files, physical drives, the
// NT family's mounted volumes and the 9x family's VWIN32 driver answer. The Windows functions in
// fake_machine.cpp log each call and inject its fault first, then ask the part concerned.
#pragma once

#include <cstdint>
#include <string>

#include "testing/fake_machine.h"

namespace fake {

inline constexpr char DEVICE_PREFIX[] = "\\\\.\\";

// A failing call's answer: the last error set, and the result that says so.
template <typename T>
T fail(DWORD error, T result) {
    machine().last_error = error;
    return result;
}

// Windows leaves the last error undefined after most calls that succeed. Here closing a handle
// and deleting a file clear it, so a reason the tool means to report must be kept by the tool.
inline BOOL succeed_clearing_last_error() {
    machine().last_error = NO_ERROR;
    return TRUE;
}

bool has_prefix(const char* text, const char* prefix);

// Whether the system answers the questions Windows 2000 brought: which disks a volume lies on,
// what a disk says it is. NT 4 does not.
bool asks_like_windows_2000();

// Files (fake_files.cpp).
HANDLE open_file(const std::string& name, DWORD access, DWORD disposition);

// Physical drives (fake_drives.cpp).
int physical_drive_number(const char* name);  // of "\\.\PHYSICALDRIVE<n>", or -1
HANDLE open_drive(int number, DWORD access, DWORD attributes, const char* name);
BOOL drive_geometry(int drive, LPVOID out, DWORD out_bytes, LPDWORD returned);
BOOL describe_drive(int drive, LPVOID out, DWORD out_bytes, LPDWORD returned);

// The volumes the NT family has mounted (fake_volumes.cpp).
HANDLE open_volume(const char* name, DWORD access);
bool write_blocked(int drive, uint64_t offset, uint64_t count);
BOOL volume_control(Machine::Open& open, DWORD code, LPVOID out, DWORD out_bytes, LPDWORD returned);
// The volume's handle is closed: its lock goes with it, and it is mounted anew.
void release_volume(char letter);

// The VWIN32 driver of the 9x family (fake_vwin32.cpp).
void vwin32_service(DWORD control_code, DIOC_REGISTERS& registers);

}  // namespace fake
