#include "testing/fake_parts.h"

namespace fake {

HANDLE open_file(const std::string& name, DWORD access, DWORD disposition) {
    Machine& m = machine();
    if (m.directories.count(name) != 0) return fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
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

BOOL MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
    fake::Machine& m = fake::machine();
    if (const auto fault = m.begin("MoveFileA", lpExistingFileName, {})) {
        return fake::fail(fault->error, FALSE);
    }
    const auto from = m.files.find(lpExistingFileName);
    if (from == m.files.end()) return fake::fail(ERROR_FILE_NOT_FOUND, FALSE);
    if (m.files.count(lpNewFileName) != 0) return fake::fail(ERROR_FILE_EXISTS, FALSE);
    auto bytes = std::move(from->second);
    m.files.erase(from);
    m.files[lpNewFileName] = std::move(bytes);
    return fake::succeed_clearing_last_error();
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
    std::vector<std::string> names;
    size_t next = 0;
};

BOOL give_next(FakeSearch& search, LPWIN32_FIND_DATAA found) {
    if (search.next == search.names.size()) return fake::fail(ERROR_NO_MORE_FILES, FALSE);
    *found = WIN32_FIND_DATAA{};
    const std::string& name = search.names[search.next++];
    name.copy(found->cFileName, sizeof found->cFileName - 1);
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
    if (m.directories.count(folder.substr(0, folder.size() - 1)) == 0) {
        return fake::fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    }
    static FakeSearch search;  // one search at a time, as the tool makes them
    search = {};
    for (const auto& [path, bytes] : m.files) {
        if (path.starts_with(folder)) search.names.push_back(path.substr(folder.size()));
    }
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
