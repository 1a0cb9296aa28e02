// The names a disk's files and disks get on a PC: a TI name may hold what a PC's file systems
// refuse, name a device there, start with the '.' that hides a file, or not be text at all.
#pragma once

#include <cstdint>

#include "disk/volume_header.h"

// A TI name as a PC file's name: '_' for what a PC's file systems refuse (/ \ : * ? " < > |, a
// byte other than printable ASCII, a name of dots alone, a '.' at its end).
void pc_file_name(const char* shown, char (&file)[TI_NAME_BYTES + 1]);

// Why a file's PC name is more than its TI name with what a PC refuses replaced.
enum class Renamed : uint8_t {
    no,
    device,    // the name is a device's on a PC (CON, NUL, COM1, ...): '_' after it
    hidden,    // it starts with '.', which hides a file on a PC: '_' in its place
    not_text,  // it holds a byte that is not printable text, or only blanks ("FILE" and its
               // record's sector then)
    taken,     // another file of this run has that name: "~2" after it
    in_use,    // it names the card, or the disk being read: "~2" after it
};

// Room for a name, '_' or "~127" after it, and its end.
inline constexpr size_t PC_NAME_BYTES = TI_NAME_BYTES + 6;

struct PcName {
    char text[PC_NAME_BYTES] = {};
    Renamed renamed = Renamed::no;
};

// The PC name of the file whose record, at sector record, starts with the 10 bytes of its name.
PcName pc_name_of(const uint8_t* name, uint32_t record);

// The same name with "~n" after it, for n from 2: one of its own where the name is taken.
PcName numbered(const PcName& name, uint32_t n);
