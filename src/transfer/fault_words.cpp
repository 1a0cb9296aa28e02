#include "transfer/fault_words.h"

#include "disk/volume_header.h"

const char* file_fault_words(FileFault fault) {
    switch (fault) {
        case FileFault::broken_chain:
            return "the runs of its data chain go backwards";
        case FileFault::leaves_disk:
            return "a run of its data lies outside the disk";
        case FileFault::count_differs:
            return "its runs hold another number of sectors than its record allocates";
        case FileFault::runs_overlap:
            return "two of its runs share a sector";
        default:
            return "";
    }
}

Text disk_fault_words(const DiskFault& found) {
    char name[TI_NAME_BYTES + 1] = {};
    show_name(found.name, name);
    Text words;
    switch (found.fault) {
        case FileFault::index_out_of_range:
            return words.add("index entry ")
                .number(found.entry)
                .add(" points at sector ")
                .number(found.sector)
                .add(", outside the disk");
        case FileFault::listed_twice:
            return words.add("two index entries point at the record of ").add(name);
        case FileFault::index_hole:
            return words.add("index entry ")
                .number(found.entry)
                .add(" is empty and entries follow it, which the TI never reads");
        case FileFault::runs_overlap:
            return words.add("sector ")
                .number(found.sector)
                .add(" of ")
                .add(name)
                .add(" belongs to another file too");
        case FileFault::not_marked_used:
            return words.add("sector ")
                .number(found.sector)
                .add(" of ")
                .add(name)
                .add(" is not marked used");
        case FileFault::none:
        case FileFault::broken_chain:
        case FileFault::leaves_disk:
        case FileFault::count_differs:
            break;
    }
    return words.add(name).add(": ").add(file_fault_words(found.fault));
}
