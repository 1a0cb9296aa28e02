#include <algorithm>

#include "testing/fake_parts.h"

namespace fake {

HANDLE open_file(const std::string& named, DWORD access, DWORD disposition) {
    Machine& m = machine();
    const auto link = m.links.find(named);
    if (link != m.links.end() && disposition == CREATE_NEW) {
        return fail(ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);  // a link is never followed there
    }
    const std::string name = link != m.links.end() ? link->second : named;
    if (m.directories.count(name) != 0) return fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    if ((access & GENERIC_WRITE) != 0 && m.read_only.count(name) != 0) {
        return fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    }
    const bool exists = m.files.count(name) != 0;
    switch (disposition) {
        case OPEN_EXISTING:
            if (!exists) return fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
            break;
        case TRUNCATE_EXISTING:
            if (!exists) return fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
            m.files[name].clear();
            break;
        case CREATE_NEW:
            if (exists) return fail(ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
            m.files[name];
            break;
        case CREATE_ALWAYS:
            m.files[name].clear();
            break;
        case OPEN_ALWAYS:
            m.files[name];
            break;
        default:
            return fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    }
    return m.add_handle({name, Machine::Open::Kind::file, -1, 0, access});
}

}  // namespace fake

BOOL DeleteFileA(LPCSTR lpFileName) {
    if (const auto fault = fake::machine().begin("DeleteFileA", lpFileName, {})) {
        return fake::fail(fault->error, FALSE);
    }
    if (fake::machine().files.erase(lpFileName) == 0) {
        return fake::fail(ERROR_FILE_NOT_FOUND, FALSE);
    }
    return fake::succeed_clearing_last_error();
}

namespace {

// A file given a new name, which where replacing is false must not be taken yet.
BOOL move_file(const char* function, LPCSTR from, LPCSTR to, bool replacing) {
    fake::Machine& m = fake::machine();
    if (const auto fault = m.begin(function, from, {})) return fake::fail(fault->error, FALSE);
    const bool nt = !m.version || m.version->dwPlatformId == VER_PLATFORM_WIN32_NT;
    if (replacing && !nt) return fake::fail(ERROR_CALL_NOT_IMPLEMENTED, FALSE);  // 9x: no such move
    const auto found = m.files.find(from);
    if (found == m.files.end()) return fake::fail(ERROR_FILE_NOT_FOUND, FALSE);
    if (!replacing && m.files.count(to) != 0) return fake::fail(ERROR_FILE_EXISTS, FALSE);
    if (replacing && m.is_open(to)) return fake::fail(ERROR_ACCESS_DENIED, FALSE);  // as Windows
    if (m.read_only.count(to) != 0) return fake::fail(ERROR_ACCESS_DENIED, FALSE);
    auto bytes = std::move(found->second);
    m.files.erase(found);
    m.files[to] = std::move(bytes);
    return fake::succeed_clearing_last_error();
}

}  // namespace

BOOL MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
    return move_file("MoveFileA", lpExistingFileName, lpNewFileName, false);
}

BOOL replace_by_move(LPCSTR from, LPCSTR to) {
    return move_file("replace_by_move", from, to, true);
}

BOOL user_state_folder(LPSTR path, DWORD path_bytes) {
    const std::string& folder = fake::machine().state_folder;
    if (folder.empty() || folder.size() >= path_bytes) return FALSE;
    folder.copy(path, path_bytes - 1);
    path[folder.size()] = '\0';
    return TRUE;
}

void GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    *lpSystemTime = fake::machine().now;
}

// The machine is a Windows one.
LPCSTR native_line_end() {
    return "\r\n";
}

BOOL linked_path(LPCSTR path, LPSTR target, DWORD target_bytes) {
    const auto link = fake::machine().links.find(path);
    if (link == fake::machine().links.end() || link->second.size() >= target_bytes) return FALSE;
    link->second.copy(target, target_bytes - 1);
    target[link->second.size()] = '\0';
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR lpFileName) {
    fake::Machine& m = fake::machine();
    if (const auto fault = m.begin("GetFileAttributesA", lpFileName, {})) {
        return fake::fail(fault->error, INVALID_FILE_ATTRIBUTES);
    }
    const auto link = m.links.find(lpFileName);
    const std::string name = link != m.links.end() ? link->second : lpFileName;
    if (m.directories.count(name) != 0) return FILE_ATTRIBUTE_DIRECTORY;
    if (m.files.count(name) == 0) return fake::fail(ERROR_FILE_NOT_FOUND, INVALID_FILE_ATTRIBUTES);
    return m.read_only.count(name) != 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

BOOL CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
    fake::Machine& m = fake::machine();
    if (const auto fault = m.begin("CreateDirectoryA", lpPathName, {})) {
        return fake::fail(fault->error, FALSE);
    }
    if (m.files.count(lpPathName) != 0 || !m.directories.insert(lpPathName).second) {
        return fake::fail(ERROR_ALREADY_EXISTS, FALSE);
    }
    return fake::succeed_clearing_last_error();
}

namespace {

// The files of the folder a search names ("folder/*"), in name order, and the next to give.
struct FakeSearch {
    std::vector<std::pair<std::string, bool>> names;  // and whether it is a folder's
    size_t next = 0;
};

BOOL give_next(FakeSearch& search, LPWIN32_FIND_DATAA found) {
    if (search.next == search.names.size()) return fake::fail(ERROR_NO_MORE_FILES, FALSE);
    *found = WIN32_FIND_DATAA{};
    const auto& [name, is_folder] = search.names[search.next++];
    name.copy(found->cFileName, sizeof found->cFileName - 1);
    found->dwFileAttributes = is_folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    return fake::succeed_clearing_last_error();
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    fake::Machine& m = fake::machine();
    if (const auto fault = m.begin("FindFirstFileA", lpFileName, {})) {
        return fake::fail(fault->error, INVALID_HANDLE_VALUE);
    }
    const std::string pattern = lpFileName;
    const std::string folder = pattern.substr(0, pattern.size() - 1);  // up to its separator
    if (!folder.empty() && m.directories.count(folder.substr(0, folder.size() - 1)) == 0) {
        return fake::fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    }
    static FakeSearch search;  // one search at a time, as the tool makes them
    search = {};
    // The folder's own entries, of its files and of the folders in it ("*": the current one's).
    const auto add = [&](const std::string& path, bool is_folder) {
        if (!path.starts_with(folder) || path.size() == folder.size()) return;
        const std::string name = path.substr(folder.size());
        if (name.find('/') == std::string::npos) search.names.emplace_back(name, is_folder);
    };
    for (const auto& [path, bytes] : m.files) add(path, false);
    for (const std::string& path : m.directories) add(path, true);
    std::sort(search.names.begin(), search.names.end());
    if (!give_next(search, lpFindFileData))
        return fake::fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    return &search;
}

BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    return give_next(*static_cast<FakeSearch*>(hFindFile), lpFindFileData);
}

BOOL FindClose(HANDLE) {
    return TRUE;
}
