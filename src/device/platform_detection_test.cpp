#include "device/platform_detection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "device/card_choice.h"
#include "testing/test_support.h"

namespace {

using namespace testing_support;

constexpr const char* PRODUCT_OPTIONS = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
constexpr const char* HOTFIX = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";

struct Machine {
    DWORD platform, major, minor, build;
    const char* service_pack;
    std::optional<std::string> product_type;  // none: no ProductOptions key
    bool hotfix;
};

struct Case {
    const char* name;
    Machine machine;
    std::string banner;
    int32_t code;
};

void set_up(const Machine& m) {
    fake::reset();
    OSVERSIONINFOEXA version{};
    version.dwPlatformId = m.platform;
    version.dwMajorVersion = m.major;
    version.dwMinorVersion = m.minor;
    version.dwBuildNumber = m.build;
    // The text fills its field when it is that long, and the members after it are not zero.
    std::memcpy(version.szCSDVersion, m.service_pack,
                std::min(std::strlen(m.service_pack), sizeof version.szCSDVersion));
    version.wServicePackMajor = 'S' << 8 | 'P';
    fake::machine().version = version;
    if (m.product_type) {
        const std::string& type = *m.product_type;
        fake::machine().registry[PRODUCT_OPTIONS]["ProductType"].assign(type.begin(), type.end());
    }
    if (m.hotfix) fake::machine().registry[HOTFIX];
}

std::string nul_terminated(const char* text) {
    return std::string(text) + '\0';
}

TEST(PlatformDetection, TheBannerNamesTheVersionAndTheCodeNamesTheFamily) {
    const std::string wks = nul_terminated("WINNT");
    const std::string no_nul(128, 'v');
    const Case cases[] = {
        {"Win32s", {0, 3, 11, 0, "", {}, false}, "Microsoft Win32s\n", 2},
        {"95", {1, 4, 0, 950, " A", {}, false}, "Microsoft Windows 95 \n", 2},
        {"95 OSR2 C", {1, 4, 0, 1111, " C", {}, false}, "Microsoft Windows 95 OSR2 \n", 2},
        {"95 OSR2 B", {1, 4, 0, 1111, " B", {}, false}, "Microsoft Windows 95 OSR2 \n", 2},
        {"95 lower c", {1, 4, 0, 1111, " c", {}, false}, "Microsoft Windows 95 \n", 2},
        {"98", {1, 4, 10, 1998, " ", {}, false}, "Microsoft Windows 98 \n", 2},
        {"98 SE", {1, 4, 10, 2222, " A ", {}, false}, "Microsoft Windows 98 SE \n", 2},
        {"98 lower a", {1, 4, 10, 2222, " a", {}, false}, "Microsoft Windows 98 \n", 2},
        {"Me", {1, 4, 90, 3000, " ", {}, false}, "Microsoft Windows Millennium Edition\n", 2},
        {"unknown 9x", {1, 4, 3, 0, "", {}, false}, "", 2},
        {"NT 4 SP6a",
         {2, 4, 0, 1381, "Service Pack 6", wks, true},
         "Microsoft Windows NT Workstation 4.0 Service Pack 6a (Build 1381)\n",
         1},
        {"NT 4 SP6",
         {2, 4, 0, 1381, "Service Pack 6", wks, false},
         "Microsoft Windows NT Workstation 4.0 Service Pack 6 (Build 1381)\n",
         1},
        {"NT 4 sp6 lower case",
         {2, 4, 0, 1381, "service pack 6", wks, true},
         "Microsoft Windows NT Workstation 4.0 Service Pack 6a (Build 1381)\n",
         1},
        {"NT 4 SP6 mixed case",
         {2, 4, 0, 1381, "SERVICE pack 6", wks, true},
         "Microsoft Windows NT Workstation 4.0 Service Pack 6a (Build 1381)\n",
         1},
        {"NT 4 text after the 6",
         {2, 4, 0, 1381, "Service Pack 6b", wks, true},
         "Microsoft Windows NT Workstation 4.0 Service Pack 6b (Build 1381)\n",
         1},
        {"NT 3.51",
         {2, 3, 51, 1057, "Service Pack 5", "LanmanNT", false},
         "Microsoft Windows NT Server 3.51 Service Pack 5 (Build 1057)\n",
         1},
        {"2000 SP6 is no hotfix case",
         {2, 5, 0, 2195, "Service Pack 6", "SERVERNT", true},
         "Microsoft Windows 2000 Advanced Server 5.0 Service Pack 6 (Build 2195)\n",
         1},
        {"XP",
         {2, 5, 1, 2600, "Service Pack 3", "winnt", false},
         "Microsoft Windows XP Workstation 5.1 Service Pack 3 (Build 2600)\n",
         1},
        {"Server 2003",
         {2, 5, 2, 3790, "", "LANMANNT", false},
         "Microsoft Windows Server 2003, Server 5.2  (Build 3790)\n",
         1},
        {"5.3 has no name", {2, 5, 3, 1, "", wks, false}, "Workstation 5.3  (Build 1)\n", 1},
        {"major 6",
         {2, 6, 1, 7601, "Service Pack 1", "ServerNT", false},
         "Advanced Server 6.1 Service Pack 1 (Build 7601)\n",
         1},
        {"build above 0xFFFF", {2, 10, 0, 0x10005, "", "", false}, "10.0  (Build 5)\n", 1},
        {"a service-pack text with no NUL ends with its field",
         {2, 5, 1, 2600, no_nul.c_str(), wks, false},
         "Microsoft Windows XP Workstation 5.1 " + no_nul.substr(0, 127) + " (Build 2600)\n",
         1},
        {"empty product type",
         {2, 5, 1, 2600, "", "", false},
         "Microsoft Windows XP 5.1  (Build 2600)\n",
         1},
        {"unknown product type",
         {2, 5, 1, 2600, "", "Terminal", false},
         "Microsoft Windows XP 5.1  (Build 2600)\n",
         1},
        {"80 bytes, no NUL",
         {2, 5, 1, 2600, "", std::string(80, 'W'), false},
         "Microsoft Windows XP 5.1  (Build 2600)\n",
         1},
        {"text ends at its NUL",
         {2, 5, 1, 2600, "", wks + std::string(74, 'x'), false},
         "Microsoft Windows XP Workstation 5.1  (Build 2600)\n",
         1},
        {"81 bytes", {2, 5, 1, 2600, "", std::string(81, 'W'), false}, "Microsoft Windows XP ", 0},
        {"no ProductOptions key",
         {2, 5, 1, 2600, "", std::nullopt, false},
         "Microsoft Windows XP ",
         0},
        {"no name, no key", {2, 6, 0, 6000, "", std::nullopt, false}, "", 0},
        {"platform 3", {3, 5, 1, 2600, "", wks, false}, "", 0},
    };
    for (const Case& c : cases) {
        set_up(c.machine);
        int32_t code = -1;
        EXPECT_EQ(printed_by([&] { code = detect_platform(); }), c.banner) << c.name;
        EXPECT_EQ(code, c.code) << c.name;
        EXPECT_EQ(fake::machine().open_handle_count(), 0u) << "keys closed, " << c.name;
    }
}

TEST(PlatformDetection, UnreadableVersionsAndProductTypes) {
    const Machine xp = {2, 5, 1, 2600, "Service Pack 2", "WinNT", false};
    const std::string xp_banner =
        "Microsoft Windows XP Workstation 5.1 Service Pack 2 (Build 2600)\n";
    struct Failure {
        const char* name;
        std::function<void()> arrange;
        std::string banner;
        int32_t code;
    };
    const Failure failures[] = {
        {"basic record only", [] { fake::machine().accepts_extended_version = false; }, xp_banner,
         1},
        {"first call fails", [] { fake::machine().fail_function("GetVersionExA", 0); }, xp_banner,
         1},
        {"both calls fail", [] { fake::machine().version.reset(); }, "", 0},
        {"key does not open", [] { fake::machine().fail_function("RegOpenKeyExA", 0); },
         "Microsoft Windows XP ", 0},
        {"value unreadable", [] { fake::machine().fail_function("RegQueryValueExA", 0); },
         "Microsoft Windows XP ", 0},
        {"value missing", [] { fake::machine().registry[PRODUCT_OPTIONS].erase("ProductType"); },
         "Microsoft Windows XP ", 0},
    };
    for (const Failure& f : failures) {
        set_up(xp);
        f.arrange();
        int32_t code = -1;
        EXPECT_EQ(printed_by([&] { code = detect_platform(); }), f.banner) << f.name;
        EXPECT_EQ(code, f.code) << f.name;
        EXPECT_EQ(fake::machine().open_handle_count(), 0u) << f.name;
        const fake::Call* first = fake::machine().find("GetVersionExA", 0);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->args[0], 156u) << "the extended record is asked for first";
        const fake::Call* second = fake::machine().find("GetVersionExA", 1);
        if (second != nullptr) {
            EXPECT_EQ(second->args[0], 148u) << f.name;
        }
    }
}

TEST(PlatformDetection, TheCodeChoosesTheFamilyAndItsListing) {
    const std::pair<Machine, int32_t> cases[] = {
        {{1, 4, 10, 0, "", {}, false}, 1},     {{0, 0, 0, 0, "", {}, false}, 1},
        {{2, 5, 1, 0, "", "WINNT", false}, 0}, {{2, 5, 1, 0, "", std::nullopt, false}, 0},
        {{7, 0, 0, 0, "", {}, false}, 0},
    };
    for (const auto& [machine, vwin32] : cases) {
        set_up(machine);
        feed_stdin("\n");
        bool nine_x = false;
        EXPECT_EQ(printed_by([&] { nine_x = is_9x_family(); }), "") << "asked quietly";
        EXPECT_EQ(nine_x, vwin32 == 1) << machine.platform;
        fake::machine().log.clear();
        printed_by([] { EXPECT_FALSE(choose_card()) << "no drive to choose"; });
        // The 9x listing probes letters through VWIN32; the NT one probes physical drives.
        EXPECT_EQ(fake::machine().count("CreateFileA", "\\\\.\\VWIN32"), vwin32 ? 26u : 0u);
        EXPECT_EQ(fake::machine().count("CreateFileA", "\\\\.\\PHYSICALDRIVE"), vwin32 ? 0u : 16u);
    }
}

}  // namespace
