// A scripted Windows machine for the tests: the tool's code runs unchanged against files, disks
// and failures that the test sets up, and every platform call it makes is logged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "winapi.h"

namespace fake {

// One platform call as the tool made it: what it named and its numeric arguments.
struct Call {
    std::string function;
    std::string target;  // the path, or the path behind the handle
    std::vector<uint64_t> args;
};

// A physical drive of any size: bytes never written read as fill, written ones are kept in pages.
struct Drive {
    uint64_t size = 0;
    uint8_t fill = 0;
    bool opens = true;            // false: absent, every open fails
    bool opens_for_write = true;  // false: write access is refused
    // Cards that lie: one that accepts writes and keeps nothing, one that keeps a byte of every
    // write at this drive offset changed, one whose reads past the system's cache fail.
    bool keeps_writes = true;
    std::optional<uint64_t> alters_byte_at;
    bool uncached_reads_fail = false;
    // What it says it is, each text as the drive gives it (blanks and all); none: no such text.
    std::optional<std::string> vendor;
    std::optional<std::string> product;

    void write(uint64_t offset, const uint8_t* bytes, size_t count);
    // A write as the tool's write call reaches the card: kept, altered or lost as it lies.
    void accept_write(uint64_t offset, const uint8_t* bytes, size_t count);
    void read(uint64_t offset, uint8_t* bytes, size_t count) const;
    std::vector<uint8_t> bytes(uint64_t offset, size_t count) const;
    // The lowest and highest byte offsets ever written, or none.
    std::optional<std::pair<uint64_t, uint64_t>> written_range() const;

  private:
    static constexpr uint64_t PAGE_BYTES = 65536;
    std::map<uint64_t, std::vector<uint8_t>> pages_;
    std::optional<std::pair<uint64_t, uint64_t>> written_;
};

// A volume that the VWIN32 driver reaches by drive letter.
struct Volume {
    uint8_t device_type = 5;             // what Get Device Parameters reports; 5 is a fixed disk
    uint16_t total_sectors = 0;          // the 16-bit count of its BIOS parameter block
    bool grants_lock[2] = {true, true};  // per category, 0x48 then 0x08
    bool grants_unlock[2] = {true, true};
    bool reads = true;   // false: the service refuses absolute reads
    bool writes = true;  // false: the service refuses absolute writes
    Drive sectors;       // the bytes behind its logical sectors
};

// A volume the NT family has mounted on a physical drive, reached as "\\.\X:". From NT 6 on,
// a raw write that touches its bytes fails while it is mounted and not locked.
struct MountedVolume {
    int drive = 0;
    uint64_t first_byte = 0;
    uint64_t bytes = 0;
    bool in_use = false;  // another program holds it open: every lock is refused
    // A volume that spans two disks: its first extent on this other drive, its part on `drive`
    // the second.
    std::optional<int> first_extent_on = std::nullopt;
    bool locked = false;
    bool mounted = true;
};

// How one call goes wrong: it fails with error, or (reads and writes) it succeeds but moves
// only short_count bytes.
struct Fault {
    DWORD error = ERROR_GEN_FAILURE;
    std::optional<DWORD> short_count;
};

class Machine {
  public:
    std::map<std::string, std::vector<uint8_t>> files;  // by path, exactly as the tool names it
    std::set<std::string> directories;
    std::set<std::string> character_devices;  // files that are consoles or NUL, not disks
    std::map<int, Drive> drives;              // \\.\PHYSICALDRIVE<n>
    std::map<int, DISK_GEOMETRY> geometries;  // what a drive reports; none: the query fails

    // GetVersionExA's answer; none: every call fails. Some systems refuse the extended record.
    std::optional<OSVERSIONINFOEXA> version;
    bool accepts_extended_version = true;
    // Registry keys under HKEY_LOCAL_MACHINE, by path, with their values by name.
    std::map<std::string, std::map<std::string, std::vector<uint8_t>>> registry;

    std::map<char, MountedVolume> mounted_volumes;  // by drive letter

    bool has_vwin32 = false;
    bool every_right = false;        // runs_with_every_right: as root on Linux
    std::map<char, Volume> volumes;  // by drive letter, 'A' to 'Z'
    std::vector<Call> log;

    bool console_input = false;                // standard input is a console
    std::set<std::string> read_only;           // files that may only be read
    std::map<std::string, DWORD> names_of;     // a file's hard links; 1 where none is named
    std::map<std::string, std::string> links;  // a link's name and the file it names
    // What user_state_folder answers: nothing where empty. GetLocalTime's answer.
    std::string state_folder = "state";
    SYSTEMTIME now = {2026, 12, 4, 10, 16, 45, 12, 0};
    // A Ctrl-C, noted once the log holds this many calls.
    std::optional<size_t> interrupt_at;

    // The call with this index in the log (counting from 0) goes wrong.
    void fail_call(size_t index, Fault fault = {}) { faults_[index] = fault; }
    // The occurrence-th call (from 0) of this function goes wrong.
    void fail_function(const std::string& function, size_t occurrence, Fault fault = {});
    // No call goes wrong any more.
    void clear_faults() { faults_.clear(), function_faults_.clear(); }

    size_t open_handle_count() const { return handles_.size(); }
    bool is_open(const std::string& target) const {
        for (const auto& [id, open] : handles_) {
            if (open.target == target) return true;
        }
        return false;
    }
    size_t allocation_count() const { return allocations_.size(); }
    // Calls of function, of those only the ones whose target begins with target_prefix.
    size_t count(const std::string& function, const std::string& target_prefix = "") const;
    const Call* find(const std::string& function, size_t occurrence = 0) const;

    // The tool's side of the machine, called by the Windows functions of this build.
    struct Open {
        std::string target;
        enum class Kind { file, drive, key, driver, volume } kind = Kind::file;
        int drive = -1;
        uint64_t position = 0;
        DWORD access = 0;
        char letter = 0;       // of a volume
        DWORD attributes = 0;  // the flags it was opened with
    };
    std::optional<Fault> begin(std::string function, std::string target,
                               std::vector<uint64_t> args);
    HANDLE add_handle(Open open);
    Open* handle(HANDLE handle);
    bool remove_handle(HANDLE handle);
    void* allocate(size_t bytes, size_t alignment = alignof(std::max_align_t));
    bool release(void* memory);

    DWORD last_error = NO_ERROR;

  private:
    std::map<size_t, Fault> faults_;
    std::map<std::pair<std::string, size_t>, Fault> function_faults_;
    std::map<uintptr_t, Open> handles_;
    static constexpr size_t GUARD_BYTES = 1024;
    static constexpr uint8_t GUARD_FILL = 0xAB;
    std::map<void*, size_t> allocations_;  // each live block and its size
    uintptr_t next_handle_ = 0x100;
};

// The machine the Windows functions act on; reset() gives a new, empty one.
Machine& machine();
void reset();

}  // namespace fake
