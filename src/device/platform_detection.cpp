#include "device/platform_detection.h"

#include <cstdio>

#include "slotpush.h"
#include "winapi.h"

namespace {

constexpr const char* PRODUCT_OPTIONS_KEY = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
constexpr const char* SP6A_HOTFIX_KEY =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";
constexpr DWORD PRODUCT_TYPE_BYTES = 80;

// A registry key under HKEY_LOCAL_MACHINE, open for queries while this lives.
class RegistryKey {
  public:
    explicit RegistryKey(const char* path)
        : opened_(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key_) ==
                  ERROR_SUCCESS) {}
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() {
        if (opened_) RegCloseKey(key_);
    }
    explicit operator bool() const { return opened_; }
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
    bool opened_;
};

void print_9x_banner(const OSVERSIONINFOA& version) {
    if (version.dwMajorVersion != 4) return;
    const char second = version.szCSDVersion[1];
    switch (version.dwMinorVersion) {
        case 0:
            std::printf("Microsoft Windows 95 ");
            if (second == 'C' || second == 'B') std::printf("OSR2 ");
            std::printf("\n");
            break;
        case 10:
            std::printf("Microsoft Windows 98 ");
            if (second == 'A') std::printf("SE ");
            std::printf("\n");
            break;
        case 90:
            std::printf("Microsoft Windows Millennium Edition\n");
            break;
        default:
            break;
    }
}

const char* nt_name(DWORD major, DWORD minor) {
    if (major == 5 && minor == 2) return "Microsoft Windows Server 2003, ";
    if (major == 5 && minor == 1) return "Microsoft Windows XP ";
    if (major == 5 && minor == 0) return "Microsoft Windows 2000 ";
    if (major <= 4) return "Microsoft Windows NT ";
    return "";
}

// The product type up to its first NUL, never beyond the 80 bytes read; false when unreadable.
bool read_product_type(char (&text)[PRODUCT_TYPE_BYTES + 1]) {
    const RegistryKey key(PRODUCT_OPTIONS_KEY);
    if (!key) return false;
    DWORD length = PRODUCT_TYPE_BYTES;
    const LSTATUS status = RegQueryValueExA(key.get(), "ProductType", nullptr, nullptr,
                                            reinterpret_cast<LPBYTE>(text), &length);
    text[PRODUCT_TYPE_BYTES] = '\0';
    return status == ERROR_SUCCESS && length <= PRODUCT_TYPE_BYTES;
}

void print_product(const char* product_type) {
    if (lstrcmpiA(product_type, "WINNT") == 0) {
        std::printf("Workstation ");
    } else if (lstrcmpiA(product_type, "LANMANNT") == 0) {
        std::printf("Server ");
    } else if (lstrcmpiA(product_type, "SERVERNT") == 0) {
        std::printf("Advanced Server ");
    }
}

void print_service_pack(const OSVERSIONINFOA& version) {
    const int build = static_cast<int>(version.dwBuildNumber & 0xFFFF);
    if (version.dwMajorVersion == 4 && lstrcmpiA(version.szCSDVersion, "Service Pack 6") == 0) {
        const RegistryKey hotfix(SP6A_HOTFIX_KEY);
        if (hotfix) {
            std::printf("Service Pack 6a (Build %d)\n", build);
            return;
        }
    }
    std::printf("%s (Build %d)\n", version.szCSDVersion, build);
}

int32_t print_nt_banner(const OSVERSIONINFOA& version) {
    std::printf("%s", nt_name(version.dwMajorVersion, version.dwMinorVersion));
    char product_type[PRODUCT_TYPE_BYTES + 1] = {};
    if (!read_product_type(product_type)) return PLATFORM_UNKNOWN;
    print_product(product_type);
    std::printf("%d.%d ", static_cast<int>(version.dwMajorVersion),
                static_cast<int>(version.dwMinorVersion));
    print_service_pack(version);
    return PLATFORM_NT;
}

// The extended record first; systems that only know the basic one refuse it. False when
// neither is answered.
bool read_version(OSVERSIONINFOEXA& extended) {
    auto& version = reinterpret_cast<OSVERSIONINFOA&>(extended);
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    if (!GetVersionExA(&version)) {
        version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        if (!GetVersionExA(&version)) return false;
    }
    version.szCSDVersion[sizeof version.szCSDVersion - 1] = '\0';  // a text, whatever came back
    return true;
}

}  // namespace

int32_t detect_platform() {
    OSVERSIONINFOEXA extended{};
    if (!read_version(extended)) return PLATFORM_UNKNOWN;
    const auto& version = reinterpret_cast<const OSVERSIONINFOA&>(extended);
    switch (version.dwPlatformId) {
        case VER_PLATFORM_WIN32s:
            std::printf("Microsoft Win32s\n");
            return PLATFORM_9X;
        case VER_PLATFORM_WIN32_WINDOWS:
            print_9x_banner(version);
            return PLATFORM_9X;
        case VER_PLATFORM_WIN32_NT:
            return print_nt_banner(version);
        default:
            return PLATFORM_UNKNOWN;
    }
}

bool is_9x_family() {
    OSVERSIONINFOEXA extended{};
    return read_version(extended) && (extended.dwPlatformId == VER_PLATFORM_WIN32s ||
                                      extended.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS);
}
