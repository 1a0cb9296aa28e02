// The Windows API as slotpush uses it: the one boundary between the tool and the system.
//
// On Windows this is <windows.h> itself. Everywhere else the same names, types, constants and
// records are declared here, and one of two implementations is linked behind them: the Linux
// layer (real files and disks) or the scripted machine the tests drive. The VWIN32 records are
// not in any Windows header, so they are declared here for every build.
#pragma once

#include <cstdint>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winioctl.h>
#else

#include <cstdarg>
#include <cstddef>

using BOOL = int;
using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using LONGLONG = int64_t;
using ULONG_PTR = uintptr_t;
using DWORD_PTR = uintptr_t;
using PLONG = LONG*;
using LPDWORD = DWORD*;
using LPBYTE = BYTE*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPSTR = char*;
using LPCSTR = const char*;
using HANDLE = void*;
using HLOCAL = void*;
using UINT = unsigned int;
using SIZE_T = size_t;
using REGSAM = DWORD;
using LSTATUS = LONG;

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};

#define TRUE 1
#define FALSE 0

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_SET_FILE_POINTER ((DWORD)-1)

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000u
#define FILE_FLAG_NO_BUFFERING 0x20000000u
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

#define STD_INPUT_HANDLE ((DWORD)-10)

#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define MEM_COMMIT 0x00001000u
#define MEM_RESERVE 0x00002000u
#define MEM_RELEASE 0x00008000u
#define PAGE_READWRITE 0x04u

#define FILE_TYPE_UNKNOWN 0x0000u
#define FILE_TYPE_DISK 0x0001u
#define FILE_TYPE_CHAR 0x0002u
#define FILE_TYPE_PIPE 0x0003u

#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u

#define NO_ERROR 0L
#define ERROR_SUCCESS 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_WRITE_PROTECT 19L
#define ERROR_NOT_READY 21L
#define ERROR_CRC 23L
#define ERROR_SECTOR_NOT_FOUND 27L
#define ERROR_WRITE_FAULT 29L
#define ERROR_READ_FAULT 30L
#define ERROR_GEN_FAILURE 31L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_LOCK_VIOLATION 33L
#define ERROR_HANDLE_EOF 38L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_DEV_NOT_EXIST 55L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_FILE_EXISTS 80L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_DISK_FULL 112L
#define ERROR_CALL_NOT_IMPLEMENTED 120L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_NEGATIVE_SEEK 131L
#define ERROR_BUSY 170L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_FILE_TOO_LARGE 223L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MEDIA_IN_DRIVE 1112L
#define ERROR_IO_DEVICE 1117L
#define ERROR_DISK_QUOTA_EXCEEDED 1295L

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))

#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define KEY_QUERY_VALUE 0x0001u

#define VER_PLATFORM_WIN32s 0u
#define VER_PLATFORM_WIN32_WINDOWS 1u
#define VER_PLATFORM_WIN32_NT 2u

#define IOCTL_DISK_GET_DRIVE_GEOMETRY 0x00070000u
#define IOCTL_DISK_UPDATE_PROPERTIES 0x00070140u
#define IOCTL_DISK_GET_LENGTH_INFO 0x0007405Cu
#define IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS 0x00560000u
#define IOCTL_STORAGE_QUERY_PROPERTY 0x002D1400u
#define FSCTL_LOCK_VOLUME 0x00090018u
#define FSCTL_DISMOUNT_VOLUME 0x00090020u

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char szCSDVersion[128];
};
using LPOSVERSIONINFOA = OSVERSIONINFOA*;

struct OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
};

enum MEDIA_TYPE : int32_t { RemovableMedia = 11, FixedMedia = 12 };

struct DISK_EXTENT {
    DWORD DiskNumber;
    LARGE_INTEGER StartingOffset;
    LARGE_INTEGER ExtentLength;
};

struct VOLUME_DISK_EXTENTS {
    DWORD NumberOfDiskExtents;
    DISK_EXTENT Extents[1];
};

enum STORAGE_PROPERTY_ID : int32_t { StorageDeviceProperty = 0 };
enum STORAGE_QUERY_TYPE : int32_t { PropertyStandardQuery = 0 };
struct STORAGE_PROPERTY_QUERY {
    STORAGE_PROPERTY_ID PropertyId;
    STORAGE_QUERY_TYPE QueryType;
    BYTE AdditionalParameters[1];
};
enum STORAGE_BUS_TYPE : int32_t { BusTypeUnknown = 0 };
// What a disk says of itself: the texts lie in the same answer, each at its offset (0: none).
struct STORAGE_DEVICE_DESCRIPTOR {
    DWORD Version;
    DWORD Size;
    BYTE DeviceType;
    BYTE DeviceTypeModifier;
    BYTE RemovableMedia;
    BYTE CommandQueueing;
    DWORD VendorIdOffset;
    DWORD ProductIdOffset;
    DWORD ProductRevisionOffset;
    DWORD SerialNumberOffset;
    STORAGE_BUS_TYPE BusType;
    DWORD RawPropertiesLength;
    BYTE RawDeviceProperties[1];
};
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
// What a handle's file is: the volume it lies on and its index there name it whatever path
// reached it.
struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
};
using LPBY_HANDLE_FILE_INFORMATION = BY_HANDLE_FILE_INFORMATION*;
#define MAX_PATH 260
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
// One entry of a folder, as FindFirstFileA and FindNextFileA give it.
struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[MAX_PATH];
    char cAlternateFileName[14];
};
using LPWIN32_FIND_DATAA = WIN32_FIND_DATAA*;
struct GET_LENGTH_INFORMATION {
    LARGE_INTEGER Length;
};
struct DISK_GEOMETRY {
    LARGE_INTEGER Cylinders;
    MEDIA_TYPE MediaType;
    DWORD TracksPerCylinder;
    DWORD SectorsPerTrack;
    DWORD BytesPerSector;
};

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                     DWORD dwMoveMethod);
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
BOOL CloseHandle(HANDLE hObject);
DWORD GetFileType(HANDLE hFile);
BOOL GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation);
BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                     LPOVERLAPPED lpOverlapped);
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);
DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                     LPSTR lpBuffer, DWORD nSize, va_list* Arguments);
HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes);
HLOCAL LocalFree(HLOCAL hMem);
BOOL DeleteFileA(LPCSTR lpFileName);
BOOL MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName);
// What the system says of a file or folder: FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_READONLY
// (it may not be written); INVALID_FILE_ATTRIBUTES with the last error set where nothing is there.
DWORD GetFileAttributesA(LPCSTR lpFileName);
DWORD GetCurrentProcessId();
HANDLE GetStdHandle(DWORD nStdHandle);
// TRUE where the handle is a console (a terminal on Linux).
BOOL GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode);
BOOL CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
// The pattern is a folder, a separator and "*": every entry of the folder.
HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData);
BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData);
BOOL FindClose(HANDLE hFindFile);
void Sleep(DWORD dwMilliseconds);
BOOL FlushFileBuffers(HANDLE hFile);
LPVOID VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType, DWORD flProtect);
BOOL VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType);

BOOL GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);
int lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2);

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      PHKEY phkResult);
LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData);
LSTATUS RegCloseKey(HKEY hKey);

// The local time, as GetLocalTime gives it.
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
using LPSYSTEMTIME = SYSTEMTIME*;
void GetLocalTime(LPSYSTEMTIME lpSystemTime);

#endif  // _WIN32

// Not a Windows function: how the system itself names a physical drive in the drive listing,
// where it does so otherwise than Windows: its own device name ("/dev/sdb") in name, and the
// directories its partitions are mounted on (", " between them; empty for none) in mounts, where
// mounts_bytes is not 0.
// Windows answers FALSE: the listing then shows the Windows path and the volumes' letters.
BOOL native_drive_names(LPCSTR windows_path, LPSTR name, DWORD name_bytes, LPSTR mounts,
                        DWORD mounts_bytes);

// Not a Windows function: the path the system opens a Windows device path by, where it names
// its devices its own way ("/dev/sdb" for "\\.\PHYSICALDRIVE1"), so that a card is found once
// and then opened by that path. FALSE where path_bytes cannot hold it. Windows answers FALSE:
// the device path is the one it opens.
BOOL native_device_path(LPCSTR windows_path, LPSTR path, DWORD path_bytes);

// Not a Windows function: where the system refused to give up a disk because it is in use and
// can say by whom, the disk's mounts ("/dev/sdb1 is mounted on /media/card", ", " between
// them) in text. Windows answers FALSE: its own reason for the refusal is all there is.
BOOL native_disk_mounts(LPCSTR windows_path, LPSTR text, DWORD text_bytes);

// Not a Windows function: the path the drive-choice file is named after, or none (nullptr).
// Windows answers argument 0 as typed. Linux answers the program's own file when argument 0 is a
// bare name (the program was found through PATH), so that the file sits beside the installed
// program and not in whichever folder the user happens to be in.
const char* program_path(const char* typed);

// Not a Windows function: TRUE where the system says the program already runs with every right
// it can be given (root on Linux), so that a disk it may not open is not for want of them.
// Windows answers FALSE: it does not say, and there a refused disk is one an administrator opens.
BOOL runs_with_every_right();

// Not a Windows function: whether a missing drive-choice file is created, empty. Windows answers
// TRUE, as the tool always has there. Linux answers FALSE: the installed program lies in a system
// folder (/usr/bin) that nothing may write into at run time, so the file is read when present
// and put in place by hand.
BOOL creates_drive_choice_file();

// Not a Windows function: claims the disk open for writing at handle at once, as its first write
// would (on Linux the disk is opened exclusively and locked: ERROR_BUSY while a partition is
// mounted or another program holds it), so that a change is claimed before it reads. TRUE for a
// file, and on Windows, where the claim of a disk is the lock of its volumes.
BOOL claim_for_writing(HANDLE handle);

// Not a Windows function: moves from over to, which it replaces in one step, so that to names
// the old file or the new one at every moment (rename on Linux; MoveFileExA on the NT family,
// found when first asked). FALSE with ERROR_CALL_NOT_IMPLEMENTED where the system has no such
// move (the 9x family): the caller then moves the old file aside first.
BOOL replace_by_move(LPCSTR from, LPCSTR to);

// Not a Windows function: where path is a link, the path of the file it names at the end of
// its links (that file may not exist yet), in target; FALSE where path is no link, or where
// target_bytes cannot hold the name. Windows answers FALSE: its files are written where named.
BOOL linked_path(LPCSTR path, LPSTR target, DWORD target_bytes);

// Not a Windows function: from now on a Ctrl-C, or a request to end the program (SIGINT and
// SIGTERM on Linux; the console's control events on Windows, through SetConsoleCtrlHandler), no
// longer ends it at once but is noted, for interrupted() to tell; a second one ends it at once.
// A write to a pipe no one reads any more fails, as on Windows, and ends nothing.
void hold_interruptions();
// Not a Windows function: TRUE once a Ctrl-C held by hold_interruptions has been noted.
BOOL interrupted();

// Not a Windows function: the folder where the tool keeps what this user's changes of the card
// replaced, not yet made: $XDG_STATE_HOME/slotpush, else ~/.local/state/slotpush on Linux;
// %LOCALAPPDATA%\slotpush, else %APPDATA%\slotpush, else (Windows 95 names neither) the folder
// slotpush-undo beside the program's own file on Windows. FALSE where there is none (Linux
// without HOME) or path_bytes cannot hold it.
BOOL user_state_folder(LPSTR path, DWORD path_bytes);

// Not a Windows function: how the system ends a line of a text file: CR LF on Windows, LF on
// Linux.
LPCSTR native_line_end();

// The VWIN32 driver of the 9x family, reached with DeviceIoControl.
#define VWIN32_DIOC_DOS_IOCTL 1u      // interrupt 21h function 440Dh, generic block-device IOCTL
#define VWIN32_DIOC_DOS_DRIVEINFO 6u  // interrupt 21h function 7305h, absolute disk read/write

// The driver's register record: seven 32-bit registers on the 9x platform. Members that carry an
// address are pointer-wide so that 64-bit builds (which only ever meet the scripted driver of the
// tests) can carry one too; on 32-bit Windows the record is the platform's 28 bytes.
struct DIOC_REGISTERS {
    DWORD_PTR reg_EBX;
    DWORD_PTR reg_EDX;
    DWORD_PTR reg_ECX;
    DWORD_PTR reg_EAX;
    DWORD_PTR reg_EDI;
    DWORD_PTR reg_ESI;
    DWORD_PTR reg_Flags;
};

// The absolute disk read/write service's request record, byte-packed (10 bytes on 32-bit Windows).
#pragma pack(push, 1)
struct DISKIO {
    DWORD diStartSector;
    WORD diSectors;
    DWORD_PTR diBuffer;
};
#pragma pack(pop)

static_assert(sizeof(DISK_GEOMETRY) == 24, "DISK_GEOMETRY is the platform's 24-byte record");
static_assert(sizeof(STORAGE_DEVICE_DESCRIPTOR) == 40, "STORAGE_DEVICE_DESCRIPTOR's size");
static_assert(sizeof(VOLUME_DISK_EXTENTS) == 32, "VOLUME_DISK_EXTENTS has the platform's size");
static_assert(sizeof(OSVERSIONINFOA) == 148 && sizeof(OSVERSIONINFOEXA) == 156,
              "version records have the platform's sizes");
static_assert(sizeof(void*) != 4 || (sizeof(DIOC_REGISTERS) == 28 && sizeof(DISKIO) == 10),
              "VWIN32 records have the platform's sizes on 32-bit builds");
