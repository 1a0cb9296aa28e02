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
