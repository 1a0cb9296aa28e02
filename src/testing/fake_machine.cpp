#include "testing/fake_machine.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "testing/fake_parts.h"

namespace fake {

bool has_prefix(const char* text, const char* prefix) {
    return strncasecmp(text, prefix, std::strlen(prefix)) == 0;
}

bool asks_like_windows_2000() {
    const auto& version = machine().version;
    return !version || version->dwPlatformId != VER_PLATFORM_WIN32_NT ||
           version->dwMajorVersion >= 5;
}

namespace {

uint64_t size_of(const Machine::Open& open) {
    Machine& m = machine();
    return open.drive >= 0 ? m.drives[open.drive].size : m.files[open.target].size();
}

// A handle that bytes can be read from or written to: a file's or a drive's.
Machine::Open* data_handle(HANDLE handle) {
    Machine::Open* open = machine().handle(handle);
    if (open == nullptr || open->kind == Machine::Open::Kind::key ||
        open->kind == Machine::Open::Kind::driver) {
        return nullptr;
    }
    return open;
}

std::string target_of(HANDLE handle) {
    const Machine::Open* open = machine().handle(handle);
    return open != nullptr ? open->target : std::string("<invalid handle>");
}

}  // namespace

Machine& machine() {
    static Machine the_machine;
    return the_machine;
}

void reset() {
    machine() = Machine();
}

void Machine::fail_function(const std::string& function, size_t occurrence, Fault fault) {
    function_faults_[{function, occurrence}] = fault;
}

size_t Machine::count(const std::string& function, const std::string& target_prefix) const {
    return static_cast<size_t>(std::count_if(log.begin(), log.end(), [&](const Call& call) {
        return call.function == function && call.target.starts_with(target_prefix);
    }));
}

const Call* Machine::find(const std::string& function, size_t occurrence) const {
    for (const Call& call : log) {
        if (call.function == function && occurrence-- == 0) return &call;
    }
    return nullptr;
}

std::optional<Fault> Machine::begin(std::string function, std::string target,
                                    std::vector<uint64_t> args) {
    const size_t index = log.size();
    const size_t occurrence = count(function);
    log.push_back({function, std::move(target), std::move(args)});
    if (const auto fault = faults_.find(index); fault != faults_.end()) return fault->second;
    const auto named = function_faults_.find({function, occurrence});
    if (named != function_faults_.end()) return named->second;
    return std::nullopt;
}

HANDLE Machine::add_handle(Open open) {
    const uintptr_t id = next_handle_++;
    handles_[id] = std::move(open);
    return reinterpret_cast<HANDLE>(id);
}

Machine::Open* Machine::handle(HANDLE handle) {
    const auto found = handles_.find(reinterpret_cast<uintptr_t>(handle));
    return found != handles_.end() ? &found->second : nullptr;
}

// Every block is followed by a guard of known bytes, checked when it is released, so a write
// past the end of a buffer stops the test even where no sanitizer watches.
void* Machine::allocate(size_t bytes, size_t alignment) {
    const size_t whole = (bytes + GUARD_BYTES + alignment - 1) / alignment * alignment;
    auto* memory = static_cast<uint8_t*>(std::aligned_alloc(alignment, whole));
    std::memset(memory + bytes, GUARD_FILL, GUARD_BYTES);
    allocations_[memory] = bytes;
    return memory;
}

bool Machine::release(void* memory) {
    const auto found = allocations_.find(memory);
    if (found == allocations_.end()) return false;
    const uint8_t* guard = static_cast<uint8_t*>(memory) + found->second;
    if (std::any_of(guard, guard + GUARD_BYTES, [](uint8_t b) { return b != GUARD_FILL; })) {
        std::fprintf(stderr, "fake machine: a write ran past the end of a %zu-byte block\n",
                     found->second);
        std::abort();
    }
    allocations_.erase(found);
    std::free(memory);
    return true;
}

bool Machine::remove_handle(HANDLE handle) {
    return handles_.erase(reinterpret_cast<uintptr_t>(handle)) != 0;
}

}  // namespace fake

using fake::machine;

DWORD GetLastError() {
    return machine().last_error;
}

void SetLastError(DWORD dwErrCode) {
    machine().last_error = dwErrCode;
}

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                   HANDLE) {
    if (const auto fault = machine().begin(
            "CreateFileA", lpFileName,
            {dwDesiredAccess, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes})) {
        return fake::fail(fault->error, INVALID_HANDLE_VALUE);
    }
    if (const int drive = fake::physical_drive_number(lpFileName); drive >= 0) {
        return fake::open_drive(drive, dwDesiredAccess, dwFlagsAndAttributes, lpFileName);
    }
    if (strcasecmp(lpFileName, "\\\\.\\VWIN32") == 0 && machine().has_vwin32) {
        return machine().add_handle(
            {lpFileName, fake::Machine::Open::Kind::driver, -1, 0, dwDesiredAccess});
    }
    if (fake::has_prefix(lpFileName, fake::DEVICE_PREFIX)) {
        return fake::open_volume(lpFileName, dwDesiredAccess);
    }
    return fake::open_file(lpFileName, dwDesiredAccess, dwCreationDisposition);
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                     DWORD dwMoveMethod) {
    int64_t distance = lDistanceToMove;
    if (lpDistanceToMoveHigh != nullptr) {
        distance = static_cast<int64_t>(static_cast<uint64_t>(*lpDistanceToMoveHigh) << 32 |
                                        static_cast<uint32_t>(lDistanceToMove));
    }
    if (const auto fault = machine().begin("SetFilePointer", fake::target_of(hFile),
                                           {static_cast<uint64_t>(distance), dwMoveMethod})) {
        return fake::fail(fault->error, INVALID_SET_FILE_POINTER);
    }
    fake::Machine::Open* open = fake::data_handle(hFile);
    if (open == nullptr) return fake::fail(ERROR_INVALID_HANDLE, INVALID_SET_FILE_POINTER);
    const auto size = static_cast<int64_t>(fake::size_of(*open));
    const int64_t base = dwMoveMethod == FILE_BEGIN     ? 0
                         : dwMoveMethod == FILE_CURRENT ? static_cast<int64_t>(open->position)
                                                        : size;
    const int64_t position = base + distance;
    if (dwMoveMethod > FILE_END)
        return fake::fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
    if (position < 0) return fake::fail(ERROR_NEGATIVE_SEEK, INVALID_SET_FILE_POINTER);
    if (lpDistanceToMoveHigh == nullptr && position > 0xFFFFFFFFLL) {
        return fake::fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
    }
    open->position = static_cast<uint64_t>(position);
    if (lpDistanceToMoveHigh != nullptr) *lpDistanceToMoveHigh = static_cast<LONG>(position >> 32);
    return static_cast<DWORD>(position & 0xFFFFFFFF);
}

namespace {

// Past the cache only whole sectors move, from and into memory aligned to a sector.
bool unaligned(const fake::Machine::Open& open, const void* buffer, DWORD count) {
    constexpr uint64_t SECTOR = 512;
    return (open.attributes & FILE_FLAG_NO_BUFFERING) != 0 &&
           (reinterpret_cast<uintptr_t>(buffer) % SECTOR != 0 || count % SECTOR != 0 ||
            open.position % SECTOR != 0);
}

// The count a faulty call moves instead of the one asked for.
DWORD moved_count(const std::optional<fake::Fault>& fault, DWORD asked) {
    return fault && fault->short_count ? std::min(*fault->short_count, asked) : asked;
}

}  // namespace

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED) {
    const auto fault = machine().begin("ReadFile", fake::target_of(hFile), {nNumberOfBytesToRead});
    *lpNumberOfBytesRead = 0;
    if (fault && !fault->short_count) return fake::fail(fault->error, FALSE);
    fake::Machine::Open* open = fake::data_handle(hFile);
    if (open == nullptr) return fake::fail(ERROR_INVALID_HANDLE, FALSE);
    if ((open->access & GENERIC_READ) == 0) return fake::fail(ERROR_ACCESS_DENIED, FALSE);
    const uint64_t size = fake::size_of(*open);
    const uint64_t available = size > open->position ? size - open->position : 0;
    if (open->drive >= 0 && available < nNumberOfBytesToRead) {
        return fake::fail(ERROR_SECTOR_NOT_FOUND, FALSE);  // a disk ends; it has no short reads
    }
    if (unaligned(*open, lpBuffer, nNumberOfBytesToRead)) {
        return fake::fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    if ((open->attributes & FILE_FLAG_NO_BUFFERING) != 0 && open->drive >= 0 &&
        machine().drives[open->drive].uncached_reads_fail) {
        return fake::fail(ERROR_CRC, FALSE);
    }
    const DWORD count =
        moved_count(fault, static_cast<DWORD>(std::min<uint64_t>(available, nNumberOfBytesToRead)));
    auto* into = static_cast<uint8_t*>(lpBuffer);
    if (open->drive >= 0) {
        machine().drives[open->drive].read(open->position, into, count);
    } else if (count > 0) {
        std::memcpy(into, machine().files[open->target].data() + open->position, count);
    }
    open->position += count;
    *lpNumberOfBytesRead = count;
    return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED) {
    const auto fault =
        machine().begin("WriteFile", fake::target_of(hFile), {nNumberOfBytesToWrite});
    *lpNumberOfBytesWritten = 0;
    if (fault && !fault->short_count) return fake::fail(fault->error, FALSE);
    fake::Machine::Open* open = fake::data_handle(hFile);
    if (open == nullptr) return fake::fail(ERROR_INVALID_HANDLE, FALSE);
    if ((open->access & GENERIC_WRITE) == 0) return fake::fail(ERROR_ACCESS_DENIED, FALSE);
    if (unaligned(*open, lpBuffer, nNumberOfBytesToWrite)) {
        return fake::fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    const uint64_t end = open->position + nNumberOfBytesToWrite;
    if (open->drive >= 0 && end > fake::size_of(*open)) {
        return fake::fail(ERROR_SECTOR_NOT_FOUND, FALSE);
    }
    if (open->drive >= 0 &&
        fake::write_blocked(open->drive, open->position, nNumberOfBytesToWrite)) {
        return fake::fail(ERROR_ACCESS_DENIED, FALSE);
    }
    const DWORD count = moved_count(fault, nNumberOfBytesToWrite);
    const auto* from = static_cast<const uint8_t*>(lpBuffer);
    if (open->drive >= 0) {
        machine().drives[open->drive].accept_write(open->position, from, count);
    } else {
        std::vector<uint8_t>& bytes = machine().files[open->target];
        if (bytes.size() < open->position + count) bytes.resize(open->position + count);
        if (count > 0) std::memcpy(bytes.data() + open->position, from, count);
    }
    open->position += count;
    *lpNumberOfBytesWritten = count;
    return TRUE;
}

BOOL CloseHandle(HANDLE hObject) {
    const auto fault = machine().begin("CloseHandle", fake::target_of(hObject), {});
    if (const auto* open = machine().handle(hObject);
        open != nullptr && open->kind == fake::Machine::Open::Kind::volume) {
        fake::release_volume(open->letter);
    }
    // A failing close still releases the handle, as on Windows.
    if (!machine().remove_handle(hObject)) return fake::fail(ERROR_INVALID_HANDLE, FALSE);
    if (fault) return fake::fail(fault->error, FALSE);
    return fake::succeed_clearing_last_error();
}

// Windows' character devices ("NUL", "CON") are named in the machine; anything else that opens
// is a file or a disk.
DWORD GetFileType(HANDLE hFile) {
    const std::string target = fake::target_of(hFile);
    if (const auto fault = machine().begin("GetFileType", target, {})) {
        return fake::fail(fault->error, DWORD{FILE_TYPE_UNKNOWN});
    }
    if (machine().handle(hFile) == nullptr) return fake::fail(ERROR_INVALID_HANDLE, DWORD{0});
    machine().last_error = NO_ERROR;
    return machine().character_devices.count(target) != 0 ? FILE_TYPE_CHAR : FILE_TYPE_DISK;
}

// A file's index is its path's hash: one file, one path, as the machine keeps them.
BOOL GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
    const std::string target = fake::target_of(hFile);
    if (const auto fault = machine().begin("GetFileInformationByHandle", target, {})) {
        return fake::fail(fault->error, FALSE);
    }
    if (machine().handle(hFile) == nullptr) return fake::fail(ERROR_INVALID_HANDLE, FALSE);
    const auto index = static_cast<uint64_t>(std::hash<std::string>()(target));
    *lpFileInformation = {};
    const auto names = machine().names_of.find(target);
    lpFileInformation->nNumberOfLinks = names != machine().names_of.end() ? names->second : 1;
    lpFileInformation->dwVolumeSerialNumber = 0x5107;
    lpFileInformation->nFileIndexHigh = static_cast<DWORD>(index >> 32);
    lpFileInformation->nFileIndexLow = static_cast<DWORD>(index);
    return fake::succeed_clearing_last_error();
}

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                     LPOVERLAPPED) {
    std::vector<uint64_t> args = {dwIoControlCode};
    auto* registers = static_cast<DIOC_REGISTERS*>(lpInBuffer);
    if (registers != nullptr && nInBufferSize == sizeof(DIOC_REGISTERS)) {
        args.insert(args.end(),
                    {registers->reg_EAX, registers->reg_EBX, registers->reg_ECX, registers->reg_EDX,
                     registers->reg_ESI, registers->reg_EDI, registers->reg_Flags});
        if (registers->reg_EAX == 0x7305 && registers->reg_ECX == 0xFFFFFFFF) {
            const auto* io = reinterpret_cast<const DISKIO*>(registers->reg_EBX);
            args.insert(args.end(), {io->diStartSector, io->diSectors});
        }
    }
    const auto fault = machine().begin("DeviceIoControl", fake::target_of(hDevice), args);
    if (lpBytesReturned != nullptr) *lpBytesReturned = 0;
    if (fault) return fake::fail(fault->error, FALSE);
    fake::Machine::Open* open = machine().handle(hDevice);
    if (open == nullptr) return fake::fail(ERROR_INVALID_HANDLE, FALSE);
    if (open->kind == fake::Machine::Open::Kind::drive &&
        dwIoControlCode == IOCTL_DISK_GET_DRIVE_GEOMETRY) {
        return fake::drive_geometry(open->drive, lpOutBuffer, nOutBufferSize, lpBytesReturned);
    }
    if (open->kind == fake::Machine::Open::Kind::drive &&
        dwIoControlCode == IOCTL_DISK_GET_LENGTH_INFO && fake::asks_like_windows_2000() &&
        nOutBufferSize >= sizeof(GET_LENGTH_INFORMATION)) {
        static_cast<GET_LENGTH_INFORMATION*>(lpOutBuffer)->Length.QuadPart =
            static_cast<LONGLONG>(machine().drives[open->drive].size);
        return TRUE;
    }
    if (open->kind == fake::Machine::Open::Kind::drive &&
        dwIoControlCode == IOCTL_STORAGE_QUERY_PROPERTY) {
        return fake::describe_drive(open->drive, lpOutBuffer, nOutBufferSize, lpBytesReturned);
    }
    if (open->kind == fake::Machine::Open::Kind::drive &&
        dwIoControlCode == IOCTL_DISK_UPDATE_PROPERTIES) {
        return TRUE;
    }
    if (open->kind == fake::Machine::Open::Kind::volume) {
        return fake::volume_control(*open, dwIoControlCode, lpOutBuffer, nOutBufferSize,
                                    lpBytesReturned);
    }
    if (open->kind == fake::Machine::Open::Kind::driver && registers != nullptr &&
        lpOutBuffer == lpInBuffer && nOutBufferSize == sizeof(DIOC_REGISTERS)) {
        fake::vwin32_service(dwIoControlCode, *registers);
        if (lpBytesReturned != nullptr) *lpBytesReturned = sizeof(DIOC_REGISTERS);
        return TRUE;
    }
    return fake::fail(ERROR_INVALID_FUNCTION, FALSE);
}

// Every code has a text here that names the code, so tests can tell which error was reported.
// Only the allocating form is offered, the one the tool uses.
DWORD FormatMessageA(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD, LPSTR lpBuffer, DWORD,
                     va_list*) {
    if (const auto fault = machine().begin("FormatMessageA", "", {dwFlags, dwMessageId})) {
        return fake::fail(fault->error, 0u);
    }
    char text[48];
    const int length = std::snprintf(text, sizeof text, "text of error %lu\r\n",
                                     static_cast<unsigned long>(dwMessageId));
    auto* copy = static_cast<char*>(machine().allocate(sizeof text));
    std::memcpy(copy, text, sizeof text);
    *reinterpret_cast<char**>(lpBuffer) = copy;
    return static_cast<DWORD>(length);
}

HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    if (const auto fault = machine().begin("LocalAlloc", "", {uFlags, uBytes})) {
        return fake::fail(fault->error, static_cast<HLOCAL>(nullptr));
    }
    void* memory = machine().allocate(uBytes);
    return (uFlags & LMEM_ZEROINIT) != 0 ? std::memset(memory, 0, uBytes) : memory;
}

// Releasing nothing is allowed; releasing what was never obtained fails, as on Windows.
HLOCAL LocalFree(HLOCAL hMem) {
    const auto fault = machine().begin("LocalFree", "", {});
    if (hMem != nullptr && !machine().release(hMem)) return fake::fail(ERROR_INVALID_HANDLE, hMem);
    return fault ? fake::fail(fault->error, hMem) : nullptr;
}

BOOL FlushFileBuffers(HANDLE hFile) {
    if (const auto fault = machine().begin("FlushFileBuffers", fake::target_of(hFile), {})) {
        return fake::fail(fault->error, FALSE);
    }
    return fake::data_handle(hFile) != nullptr ? TRUE : fake::fail(ERROR_INVALID_HANDLE, FALSE);
}

// Whole pages, as Windows gives them, among the machine's counted allocations.
LPVOID VirtualAlloc(LPVOID, SIZE_T dwSize, DWORD flAllocationType, DWORD flProtect) {
    if (const auto fault =
            machine().begin("VirtualAlloc", "", {dwSize, flAllocationType, flProtect})) {
        return fake::fail(fault->error, static_cast<LPVOID>(nullptr));
    }
    constexpr size_t PAGE_BYTES = 4096;
    return std::memset(machine().allocate(dwSize, PAGE_BYTES), 0, dwSize);
}

BOOL VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType) {
    const auto fault = machine().begin("VirtualFree", "", {dwSize, dwFreeType});
    if (dwSize != 0 || dwFreeType != MEM_RELEASE || !machine().release(lpAddress)) {
        return fake::fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    return fault ? fake::fail(fault->error, FALSE) : TRUE;
}

// Time does not pass on this machine; the wait is only logged.
void Sleep(DWORD dwMilliseconds) {
    machine().begin("Sleep", "", {dwMilliseconds});
}

BOOL GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
    const DWORD size = lpVersionInformation->dwOSVersionInfoSize;
    if (const auto fault = machine().begin("GetVersionExA", "", {size})) {
        return fake::fail(fault->error, FALSE);
    }
    const bool extended = size == sizeof(OSVERSIONINFOEXA);
    if (!machine().version || (extended && !machine().accepts_extended_version) ||
        (!extended && size != sizeof(OSVERSIONINFOA))) {
        return fake::fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    std::memcpy(lpVersionInformation, &*machine().version, size);
    lpVersionInformation->dwOSVersionInfoSize = size;
    return TRUE;
}

BOOL claim_for_writing(HANDLE handle) {
    if (const auto fault = machine().begin("claim_for_writing", fake::target_of(handle), {})) {
        return fake::fail(fault->error, FALSE);
    }
    return TRUE;  // as Windows: a disk's claim is the lock of its volumes
}

DWORD GetCurrentProcessId() {
    return 0x5107;
}

// Standard input, a console where the machine says so.
HANDLE GetStdHandle(DWORD nStdHandle) {
    if (const auto fault = machine().begin("GetStdHandle", "", {nStdHandle})) {
        return fake::fail(fault->error, INVALID_HANDLE_VALUE);
    }
    static int input;
    return &input;
}

BOOL GetConsoleMode(HANDLE, LPDWORD lpMode) {
    if (const auto fault = machine().begin("GetConsoleMode", "", {})) {
        return fake::fail(fault->error, FALSE);
    }
    *lpMode = 0;
    return machine().console_input ? TRUE : fake::fail(ERROR_INVALID_HANDLE, FALSE);
}

// A Ctrl-C comes when the test says; it is held from the start, as the program holds it.
void hold_interruptions() {}

BOOL interrupted() {
    const fake::Machine& m = machine();
    return m.interrupt_at && m.log.size() >= *m.interrupt_at ? TRUE : FALSE;
}

BOOL native_drive_names(LPCSTR, LPSTR, DWORD, LPSTR, DWORD) {
    return FALSE;  // as Windows: its own names are the ones the listing shows
}

BOOL native_device_path(LPCSTR, LPSTR, DWORD) {
    return FALSE;  // as Windows: it opens its own device paths
}

BOOL native_disk_mounts(LPCSTR, LPSTR, DWORD) {
    return FALSE;  // as Windows: its reason for a disk in use is all there is
}

BOOL runs_with_every_right() {
    return machine().every_right ? TRUE : FALSE;  // FALSE as Windows; TRUE as Linux's root
}

BOOL creates_drive_choice_file() {
    return TRUE;  // as Windows
}

const char* program_path(const char* typed) {
    return typed;  // as Windows: argument 0 as typed
}

int lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
    return strcasecmp(lpString1, lpString2);
}

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      PHKEY phkResult) {
    if (const auto fault =
            machine().begin("RegOpenKeyExA", lpSubKey,
                            {reinterpret_cast<uintptr_t>(hKey), ulOptions, samDesired})) {
        return static_cast<LSTATUS>(fault->error);
    }
    if (hKey != HKEY_LOCAL_MACHINE || machine().registry.count(lpSubKey) == 0) {
        return ERROR_FILE_NOT_FOUND;
    }
    *phkResult = static_cast<HKEY>(
        machine().add_handle({lpSubKey, fake::Machine::Open::Kind::key, -1, 0, samDesired}));
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData) {
    const auto fault =
        machine().begin("RegQueryValueExA", fake::target_of(hKey),
                        {reinterpret_cast<uintptr_t>(lpReserved),
                         reinterpret_cast<uintptr_t>(lpType), lpcbData != nullptr ? *lpcbData : 0});
    if (fault) return static_cast<LSTATUS>(fault->error);
    const fake::Machine::Open* key = machine().handle(hKey);
    if (key == nullptr || key->kind != fake::Machine::Open::Kind::key) return ERROR_INVALID_HANDLE;
    const auto& values = machine().registry[key->target];
    const auto value = values.find(lpValueName);
    if (value == values.end()) return ERROR_FILE_NOT_FOUND;
    const auto size = static_cast<DWORD>(value->second.size());
    const DWORD room = *lpcbData;
    *lpcbData = size;
    if (size > room) return ERROR_MORE_DATA;
    if (size > 0) std::memcpy(lpData, value->second.data(), size);
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY hKey) {
    if (const auto fault = machine().begin("RegCloseKey", fake::target_of(hKey), {})) {
        machine().remove_handle(hKey);
        return static_cast<LSTATUS>(fault->error);
    }
    return machine().remove_handle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
