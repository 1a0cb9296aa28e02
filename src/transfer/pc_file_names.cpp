#include "transfer/pc_file_names.h"

#include <charconv>
#include <cstring>

#include "printable.h"
#include "winapi.h"

namespace {

constexpr char REFUSED[] = "/\\:*?\"<>|";

// The names Windows keeps for its devices, whatever follows them and in any case; a folder may
// be shared with it from any system.
constexpr const char* const DEVICE_NAMES[] = {
    "CON",  "PRN",  "AUX",  "NUL",  "CONIN$", "CONOUT$", "CLOCK$", "COM1", "COM2",
    "COM3", "COM4", "COM5", "COM6", "COM7",   "COM8",    "COM9",   "LPT1", "LPT2",
    "LPT3", "LPT4", "LPT5", "LPT6", "LPT7",   "LPT8",    "LPT9",
};

bool refused(char c) {
    bool found = !is_printable(static_cast<uint8_t>(c));  // by hand: no strchr on Windows
    for (const char* r = REFUSED; *r != '\0'; ++r) found = found || c == *r;
    return found;
}

bool names_a_device(const char* name) {
    for (const char* device : DEVICE_NAMES) {
        if (lstrcmpiA(name, device) == 0) return true;
    }
    return false;
}

}  // namespace

void pc_file_name(const char* shown, char (&file)[TI_NAME_BYTES + 1]) {
    bool dots = true;
    size_t i = 0;
    for (; shown[i] != '\0' && i < TI_NAME_BYTES; ++i) {
        file[i] = refused(shown[i]) ? '_' : shown[i];
        dots = dots && shown[i] == '.';
    }
    file[i] = '\0';
    if (dots) std::memset(file, '_', i);
    if (i > 0 && file[i - 1] == '.') file[i - 1] = '_';  // Windows drops a name's last '.'
}

PcName pc_name_of(const uint8_t* name, uint32_t record) {
    PcName pc;
    size_t length = TI_NAME_BYTES;
    while (length > 0 && name[length - 1] == ' ') --length;
    char shown[TI_NAME_BYTES + 1] = {};
    for (size_t i = 0; i < length; ++i) {
        shown[i] = static_cast<char>(name[i]);
        if (!is_printable(name[i])) pc.renamed = Renamed::not_text;
    }
    if (length == 0) {
        static const char PLAIN[] = "FILE";
        std::memcpy(pc.text, PLAIN, sizeof PLAIN - 1);
        *std::to_chars(pc.text + sizeof PLAIN - 1, pc.text + sizeof pc.text - 1, record).ptr = '\0';
        pc.renamed = Renamed::not_text;
        return pc;
    }
    char file[TI_NAME_BYTES + 1] = {};
    pc_file_name(shown, file);
    std::memcpy(pc.text, file, sizeof file);  // its end, and zeros after it
    if (pc.text[0] == '.') {
        pc.text[0] = '_';
        if (pc.renamed == Renamed::no) pc.renamed = Renamed::hidden;
    }
    if (names_a_device(pc.text)) {
        const size_t length = std::strlen(pc.text);
        pc.text[length] = '_';
        pc.text[length + 1] = '\0';
        pc.renamed = Renamed::device;
    }
    return pc;
}

PcName numbered(const PcName& name, uint32_t n) {
    PcName other = name;
    char* end = other.text + std::strlen(other.text);
    *end++ = '~';
    *std::to_chars(end, other.text + sizeof other.text - 1, n).ptr = '\0';
    other.renamed = Renamed::taken;
    return other;
}
