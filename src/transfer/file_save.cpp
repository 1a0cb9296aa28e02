#include "transfer/file_save.h"

#include <cctype>
#include <charconv>
#include <cstring>

#include "device/platform_detection.h"
#include "owned_buffer.h"
#include "transfer/folder_entries.h"
#include "winapi.h"

namespace {

// A new file is called "<target>.slotpush-<process>-<n>": the process's number in hex makes it
// one that no other run holds, n one this run has not tried.
constexpr char NEW_MARK[] = ".slotpush-";
constexpr char ASIDE_MARK[] = ".old";  // after the new file's name: the old file stepped aside
constexpr uint32_t MOST_NAME_TRIES = 100;
constexpr size_t NAME_MARK_BYTES = 32;  // what a new file's name adds to its target's
constexpr size_t LINKED_PATH_BYTES = 4096;

// "the output file 'LOAD': ", and the system's reason.
Failure failure(const SaveGuard& guard, const char* path, int32_t status, DWORD error) {
    return Failure::system(status, error, file_called(guard.called, path).c_str());
}

// A file the save does not write over, and why: "the output file 'LOAD' may only be read;
// nothing was written."
Failure kept(const SaveGuard& guard, const char* path, const Text& why,
             int32_t status = RESULT_CREATE_FAILED) {
    Text words = file_called(guard.called, path);
    words.add(" ").add(why);
    return Failure(status,
                   status == RESULT_FILES_LEFT ? words : words.add("; nothing was written."));
}

// What stands under the name already may be replaced: not a device, the card, the disk being
// read, a file of several names or one that may only be read, and only where the guard lets it.
Result check_existing(HANDLE existing, const char* target, const char* path,
                      const SaveGuard& guard) {
    if (disk_length(existing) || GetFileType(existing) != FILE_TYPE_DISK) {
        return kept(guard, path, Text("is a device, not a file"));
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileInformationByHandle(existing, &information)) {
        const FileIdentity identity{information.dwVolumeSerialNumber, information.nFileIndexHigh,
                                    information.nFileIndexLow};
        if (guard.card != nullptr && guard.card->file == identity) {
            return kept(guard, path, Text("is the card itself"));
        }
        if (guard.source == identity) return kept(guard, path, Text("is the disk being read"));
        if (information.nNumberOfLinks > 1) {
            Text why("is one file under ");
            why.number(information.nNumberOfLinks)
                .add(
                    " names (hard links), which a new file "
                    "would part");
            return kept(guard, path, why);
        }
    }
    const DWORD attributes = GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return kept(guard, path, Text("may only be read"));
    }
    if (guard.may_replace != nullptr && !(*guard.may_replace)(path)) {
        return kept(guard, path, Text("is there already; it is kept (--force replaces it)."),
                    RESULT_FILES_LEFT);
    }
    return std::nullopt;
}

// "<target>.slotpush-<process>-<n>" into name, which holds the target's length and
// NAME_MARK_BYTES more.
void new_file_name(const char* target, uint32_t n, char* name) {
    char* out = put_text(put_text(name, target), NEW_MARK);
    out = std::to_chars(out, out + 8, GetCurrentProcessId(), 16).ptr;
    *out++ = '-';
    *std::to_chars(out, out + 10, n).ptr = '\0';
}

// A new file of its own beside target, created exclusively (a name that is there already, a link
// among them, is passed over, never followed), after the model's attributes where the system
// takes a model (the 9x family takes none); its name in name. INVALID_HANDLE_VALUE with the
// last error set where none can be made.
HANDLE create_beside(const char* target, HANDLE model, char* name) {
    for (uint32_t n = 1; n <= MOST_NAME_TRIES; ++n) {
        new_file_name(target, n, name);
        HANDLE created =
            CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, model);
        if (created == INVALID_HANDLE_VALUE && GetLastError() == ERROR_NOT_SUPPORTED &&
            model != INVALID_HANDLE_VALUE) {
            model = INVALID_HANDLE_VALUE;
            created = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        }
        if (created != INVALID_HANDLE_VALUE) return created;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return created;
    }
    return INVALID_HANDLE_VALUE;  // the last error says the names were taken
}

// The new file written whole, flushed and closed: NO_ERROR, or why not.
DWORD write_whole(HANDLE file, std::span<const uint8_t> bytes) {
    DWORD error = write_at(file, 0, bytes);
    if (error == NO_ERROR && !FlushFileBuffers(file)) error = GetLastError();
    if (!CloseHandle(file) && error == NO_ERROR) error = GetLastError();
    return error;
}

// The new file takes the target's name: in one move where nothing was there, or where the
// system replaces in one step; else the old file steps aside first, and comes back where the
// new one cannot take its place. NO_ERROR, or why not.
DWORD move_into_place(const char* fresh, const char* target, bool replacing) {
    if (!replacing) return MoveFileA(fresh, target) ? NO_ERROR : GetLastError();
    if (replace_by_move(fresh, target)) return NO_ERROR;
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return GetLastError();
    Owned<char> aside_name = obtain<char>(std::strlen(fresh) + sizeof ASIDE_MARK);
    if (!aside_name) return GetLastError();
    put_text(put_text(aside_name.get(), fresh), ASIDE_MARK);
    if (!MoveFileA(target, aside_name.get())) return GetLastError();
    if (!MoveFileA(fresh, target)) {
        const DWORD error = GetLastError();
        MoveFileA(aside_name.get(), target);
        return error;
    }
    DeleteFileA(aside_name.get());
    return NO_ERROR;
}

// The same, once more after the caller lets go of the old file where the system refused to move
// over it, or aside, while it was held open.
DWORD take_name(const char* fresh, const char* target, bool replacing, const SaveGuard& guard) {
    const DWORD error = move_into_place(fresh, target, replacing);
    const bool held = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
    if (!held || guard.let_go == nullptr) return error;
    (*guard.let_go)();
    return move_into_place(fresh, target, replacing);
}

// Compared by hand, without regard to case as Windows compares names: the Windows programs
// import no memcmp.
bool starts_with(const char* text, const char* start, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) !=
            std::toupper(static_cast<unsigned char>(start[i]))) {
            return false;
        }
    }
    return true;
}

// On the 9x family, a replace of target cut between its two moves: its old file lies aside and
// its new one beside it, whole. The new one takes the name, as the cut run would have given it;
// where it is gone, the old one comes back.
void finish_cut_replace(const char* target) {
    const char* base = last_part(target);
    const auto folder_length = static_cast<size_t>(base - target);
    const size_t stride = std::strlen(target) + MAX_PATH;
    const Owned<char> folder = obtain<char>(stride);
    const Owned<char> pattern = obtain<char>(stride);
    const Owned<char> aside = obtain<char>(stride);
    const Owned<char> fresh = obtain<char>(stride);
    if (!folder || !pattern || !aside || !fresh) return;
    std::memcpy(folder.get(), target, folder_length);
    folder[folder_length] = '\0';
    const size_t base_length = std::strlen(base);
    bool is_folder = false;
    for (FolderEntries entries(folder.get(), pattern.get());
         const char* name = entries.next(is_folder);) {
        const size_t length = std::strlen(name);
        const bool ours = length > base_length + sizeof NEW_MARK + sizeof ASIDE_MARK - 2 &&
                          starts_with(name, base, base_length) &&
                          starts_with(name + base_length, NEW_MARK, sizeof NEW_MARK - 1) &&
                          lstrcmpiA(name + length - (sizeof ASIDE_MARK - 1), ASIDE_MARK) == 0;
        if (!ours || is_folder) continue;
        std::memcpy(aside.get(), target, folder_length);
        put_text(aside.get() + folder_length, name);
        const size_t fresh_length = folder_length + length - (sizeof ASIDE_MARK - 1);
        std::memcpy(fresh.get(), aside.get(), fresh_length);
        fresh[fresh_length] = '\0';
        if (MoveFileA(fresh.get(), target)) {
            DeleteFileA(aside.get());
        } else {
            MoveFileA(aside.get(), target);
        }
        return;
    }
}

}  // namespace

std::optional<FileIdentity> identity_at(const char* path) {
    const ScopedHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return std::nullopt;
    return identity_of(file.get());
}

Text file_called(const char* called, const char* path) {
    return Text(called).add(" ").quoted(path);
}

bool guards(const SaveGuard& guard, const char* path) {
    const std::optional<FileIdentity> identity = identity_at(path);
    return identity &&
           ((guard.card != nullptr && guard.card->file == identity) || guard.source == identity);
}

Result save_whole_file(const char* path, std::span<const uint8_t> bytes, const SaveGuard& guard) {
    if (*path == '\0') return failure(guard, path, RESULT_CREATE_FAILED, ERROR_FILE_NOT_FOUND);
    char linked[LINKED_PATH_BYTES];
    const char* target = linked_path(path, linked, sizeof linked) ? linked : path;
    DWORD missing = NO_ERROR;  // why nothing opens under the name, where nothing does
    // Opened by the name as given, the system follows its links as it follows them, so that what
    // stands there is the file it names (or a device, a pipe).
    const auto open_existing = [&] {
        const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
        missing = file == INVALID_HANDLE_VALUE ? GetLastError() : NO_ERROR;
        return file;
    };
    ScopedHandle existing(open_existing());
    if (missing == ERROR_FILE_NOT_FOUND && is_9x_family()) {
        finish_cut_replace(target);
        existing.reset(open_existing());
    }
    if (missing != NO_ERROR && missing != ERROR_FILE_NOT_FOUND) {
        return failure(guard, path, RESULT_CREATE_FAILED, missing);
    }
    if (existing) {
        if (Result refused = check_existing(existing.get(), target, path, guard)) return refused;
    }
    const Owned<char> fresh = obtain<char>(std::strlen(target) + NAME_MARK_BYTES);
    if (!fresh) return failure(guard, path, RESULT_CREATE_FAILED, GetLastError());
    const HANDLE created = create_beside(target, existing.get(), fresh.get());
    if (created == INVALID_HANDLE_VALUE) {
        return failure(guard, path, RESULT_CREATE_FAILED, GetLastError());
    }
    const bool replacing = static_cast<bool>(existing);
    existing.reset(INVALID_HANDLE_VALUE);  // Windows moves no file that is held open
    DWORD error = write_whole(created, bytes);
    if (error == NO_ERROR) error = take_name(fresh.get(), target, replacing, guard);
    if (error == NO_ERROR) return std::nullopt;
    DeleteFileA(fresh.get());
    return failure(guard, path, RESULT_SAVE_FAILED, error);
}
