#include "device/drive_discovery.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "device/console_answer.h"
#include "device/handle_io.h"
#include "device/physical_access.h"
#include "device/volume_disks.h"
#include "device/vwin32_driver.h"
#include "printable.h"
#include "slotpush.h"

namespace {

constexpr int32_t FIRST_LISTED_LETTER = 3;  // D:; A: to C: are probed but never listed
constexpr uint8_t FIXED_DISK = 5;
constexpr DWORD_PTR GET_DEVICE_PARAMETERS = 0x0860;  // category 08h, minor code 60h
constexpr size_t DEVICE_PARAMETERS_BYTES = 40;
constexpr size_t PARAMETER_DEVICE_TYPE = 1;
constexpr size_t PARAMETER_TOTAL_SECTORS = 15;  // 16-bit, in the BIOS parameter block
constexpr int64_t BYTES_PER_MB = 1000000;
constexpr int64_t MB_PER_GB = 1000;

constexpr const char* INVALID_SELECTION = "Invalid selection\n";
// Why the list is empty, and what to do.
constexpr const char* NONE_FOUND = "No removable drive was found; name the card with --card PATH.";
constexpr const char* NONE_FOR_USER = "Disks can be opened only by root: run slotpush with sudo.";
constexpr const char* NONE_FOR_ACCOUNT =
    "Disks can be opened only by an administrator: run slotpush from an elevated Command "
    "Prompt.";
constexpr size_t DESCRIPTOR_BYTES = 512;  // the record and the texts it points into
constexpr size_t NATIVE_NAME_BYTES = 64;
constexpr size_t MOUNTS_BYTES = 256;

void print_header() {
    std::printf("List of All Possible Flash Drives\n");
    std::printf("---------------------------------\n\n");
}

// With no candidate the listing says why (none_reason) and still waits for one line; a single
// candidate is taken on an answer beginning with Y or y. Only for two or more is the family's
// selection question asked, and pick turns its answer line into the chosen candidate (NO_DRIVE
// for none), reported as an invalid selection when it names none.
int32_t ask_selection(const int32_t* candidates, int32_t count, const char* none_reason,
                      void (*print_question)(int32_t count),
                      int32_t (*pick)(const char* answer, const int32_t* candidates,
                                      int32_t count)) {
    char answer[ANSWER_BYTES];
    if (count == 0) {
        std::printf("         ** None **\n%s\n", none_reason);
        read_answer(stdin, answer);
        return NO_DRIVE;
    }
    if (count == 1) {
        std::printf("\n\nUse this drive? (Y/N): ");
        read_answer(stdin, answer);
        return answer[0] == 'Y' || answer[0] == 'y' ? candidates[0] : NO_DRIVE;
    }
    print_question(count);
    read_answer(stdin, answer);
    const int32_t chosen = pick(answer, candidates, count);
    if (chosen == NO_DRIVE) std::printf("%s", INVALID_SELECTION);
    return chosen;
}

// Cylinders x tracks x sectors x bytes, saturating instead of overflowing on absurd geometry.
int64_t geometry_bytes(const DISK_GEOMETRY& geometry) {
    int64_t size = geometry.Cylinders.QuadPart;
    for (const int64_t factor :
         {int64_t{geometry.TracksPerCylinder}, int64_t{geometry.SectorsPerTrack},
          int64_t{geometry.BytesPerSector}}) {
        const bool negative = size < 0;  // every factor after the first is unsigned
        if (__builtin_mul_overflow(size, factor, &size)) return negative ? INT64_MIN : INT64_MAX;
    }
    return size;
}

// Appends the text at offset of a drive's answer (answer_bytes long) to the model: blanks around
// it dropped, one blank before it, and a byte outside printable ASCII shown as '?'.
void append_text(DriveModel& model, const char* answer, size_t answer_bytes, DWORD offset) {
    if (offset == 0 || offset >= answer_bytes) return;
    const char* text = answer + offset;
    size_t length = 0;
    while (offset + length < answer_bytes && text[length] != '\0') ++length;
    for (; length > 0 && *text == ' '; --length) ++text;
    while (length > 0 && text[length - 1] == ' ') --length;
    size_t used = std::strlen(model.text);
    if (length == 0 || used + 2 >= sizeof model.text) return;
    if (used > 0) model.text[used++] = ' ';
    for (size_t i = 0; i < length && used + 1 < sizeof model.text; ++i) {
        model.text[used++] = printable(static_cast<uint8_t>(text[i]));
    }
    model.text[used] = '\0';
}

// What the drive says it is: its vendor and product texts. Windows before 2000 does not say.
void read_model(HANDLE drive, DriveModel& model) {
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    union {
        STORAGE_DEVICE_DESCRIPTOR record;
        char bytes[DESCRIPTOR_BYTES];
    } answer{};
    DWORD returned = 0;
    if (!DeviceIoControl(drive, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &answer,
                         sizeof answer, &returned, nullptr)) {
        return;
    }
    const size_t got = std::min<size_t>(returned, sizeof answer);
    append_text(model, answer.bytes, got, answer.record.VendorIdOffset);
    append_text(model, answer.bytes, got, answer.record.ProductIdOffset);
}

// The drives each letter's volume lies on, asked once for the whole listing.
void find_volume_drives(DriveSet (&drives)[DRIVE_LETTERS]) {
    for (int32_t index = 0; index < DRIVE_LETTERS; ++index) {
        drives[index] = drives_of_letter(static_cast<char>('A' + index));
    }
}

// "  E: F:", the letters of the drive's volumes; nothing for none.
void print_letters(int32_t drive, const DriveSet (&volume_drives)[DRIVE_LETTERS]) {
    const char* separator = "  ";
    for (int32_t index = 0; index < DRIVE_LETTERS; ++index) {
        if (!holds(volume_drives[index], drive)) continue;
        std::printf("%s%c:", separator, 'A' + index);
        separator = " ";
    }
}

// " 1) \\.\PHYSICALDRIVE2 1gb  SanDisk SDCFH-1024  E:", or where the system has names of its
// own, " 1) /dev/sdb 1gb  Generic CF Reader  mounted on /media/card".
void print_drive_line(int32_t number, int32_t drive, const char* path, int64_t size_mb,
                      const DriveModel& model, const DriveSet (&volume_drives)[DRIVE_LETTERS]) {
    char name[NATIVE_NAME_BYTES] = {};
    char mounts[MOUNTS_BYTES] = {};
    const bool native = native_drive_names(path, name, sizeof name, mounts, sizeof mounts);
    const bool in_gb = size_mb >= MB_PER_GB;
    std::printf("%2d) %s %d%s", static_cast<int>(number), native ? name : path,
                static_cast<int32_t>(in_gb ? size_mb / MB_PER_GB : size_mb), in_gb ? "gb" : "mb");
    if (model.text[0] != '\0') std::printf("  %s", model.text);
    if (!native) {
        print_letters(drive, volume_drives);
    } else if (mounts[0] != '\0') {
        std::printf("  mounted on %s", mounts);
    }
    std::printf("\n");
}

// A drive passed over for want of the right to open it: who may, in the system's own terms
// (Linux names its disks its own way; Windows does not).
const char* denied_reason(const char* path) {
    char name[NATIVE_NAME_BYTES];
    return native_drive_names(path, name, sizeof name, nullptr, 0) ? NONE_FOR_USER
                                                                   : NONE_FOR_ACCOUNT;
}

// 1 when the letter is a fixed disk from D: on (its line is then printed), else 0.
int32_t probe_drive_letter(int32_t drive_index) {
    ScopedHandle vwin32(
        CreateFileA(VWIN32_PROBE_NAME, 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!vwin32) return 0;
    uint8_t parameters[DEVICE_PARAMETERS_BYTES] = {};
    DIOC_REGISTERS registers{};
    registers.reg_EAX = DOS_GENERIC_IOCTL;
    registers.reg_EBX = static_cast<DWORD>(drive_index + 1);
    registers.reg_ECX = GET_DEVICE_PARAMETERS;
    registers.reg_EDX = reinterpret_cast<DWORD_PTR>(parameters);
    registers.reg_Flags = CARRY_FLAG;
    const bool fixed_disk =
        vwin32_request(vwin32.get(), VWIN32_DIOC_DOS_IOCTL, registers) == NO_ERROR &&
        parameters[PARAMETER_DEVICE_TYPE] == FIXED_DISK;
    if (!fixed_disk || drive_index < FIRST_LISTED_LETTER) return 0;
    const int64_t sectors =
        parameters[PARAMETER_TOTAL_SECTORS] | parameters[PARAMETER_TOTAL_SECTORS + 1] << 8;
    std::printf("%c: %dmb\n", 'A' + drive_index,
                static_cast<int>(sectors * DEVICE_SECTOR_BYTES / BYTES_PER_MB));
    return 1;
}

}  // namespace

int32_t list_drives_vwin32() {
    print_header();
    int32_t listed[DRIVE_LETTERS];
    int32_t count = 0;
    for (int32_t index = 0; index < DRIVE_LETTERS; ++index) {
        if (probe_drive_letter(index) == 1) listed[count++] = index;
    }
    const auto question = [](int32_t) {
        std::printf("\n\nSelect drive letter or press ENTER to exit: ");
    };
    const auto pick = [](const char* answer, const int32_t* candidates, int32_t count) {
        const int32_t letter = answered_letter(answer);
        const int32_t* end = candidates + count;
        return letter >= 0 && std::find(candidates, end, letter) != end ? letter : NO_DRIVE;
    };
    return ask_selection(listed, count, NONE_FOUND, question, pick);
}

int32_t probe_physical_drive(const char* path, DISK_GEOMETRY& geometry, int64_t& size_mb,
                             DriveModel* model) {
    ScopedHandle drive(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_SYSTEM, nullptr));
    if (!drive) return 1;
    // A failed query leaves the record as the caller cleared it: media type 0, not listed.
    DWORD returned = 0;
    DeviceIoControl(drive.get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                    sizeof geometry, &returned, nullptr);
    size_mb = geometry_bytes(geometry) / BYTES_PER_MB;
    if (model != nullptr && geometry.MediaType == RemovableMedia) read_model(drive.get(), *model);
    return 0;
}

int32_t list_drives_physical() {
    print_header();
    DriveSet volume_drives[DRIVE_LETTERS];
    find_volume_drives(volume_drives);
    int32_t drives[PHYSICAL_DRIVES] = {};
    int32_t count = 0;
    const char* none_reason = NONE_FOUND;
    for (int32_t n = 0; n < PHYSICAL_DRIVES; ++n) {
        const DevicePath path = physical_drive_path(n);
        DISK_GEOMETRY geometry{};
        int64_t size_mb = 0;
        DriveModel model{};
        if (probe_physical_drive(path.text, geometry, size_mb, &model) != 0) {
            const bool denied = GetLastError() == ERROR_ACCESS_DENIED;
            if (denied && !runs_with_every_right()) none_reason = denied_reason(path.text);
            continue;
        }
        if (geometry.MediaType != RemovableMedia) continue;
        print_drive_line(count + 1, n, path.text, size_mb, model, volume_drives);
        drives[count++] = n;
    }
    const auto question = [](int32_t listed) {
        std::printf("\n\nSelect drive (1-%d) or press ENTER to exit: ", static_cast<int>(listed));
    };
    const auto pick = [](const char* answer, const int32_t* candidates, int32_t count) {
        const int32_t k = answered_list_number(answer, count);
        return k > 0 ? candidates[k - 1] : NO_DRIVE;
    };
    return ask_selection(drives, count, none_reason, question, pick);
}
