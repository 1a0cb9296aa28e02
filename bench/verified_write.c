/* The least a verified slot write can do, as the bench's limit: one write of the interleaved
 * slot at its offset, one fdatasync, one read back past the page cache (O_DIRECT), one compare.
 * Usage: verified_write DISK SLOT_FILE OFFSET; exit status 0 when the disk holds the slot. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { SLOT = 819200, PAGE = 4096 };

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const off_t offset = strtoll(argv[3], NULL, 10);
    char *slot, *back;
    if (posix_memalign((void**)&slot, PAGE, SLOT) || posix_memalign((void**)&back, PAGE, SLOT))
        return 3;
    const int in = open(argv[2], O_RDONLY);
    if (in < 0 || read(in, slot, SLOT) != SLOT) return 4;
    close(in);
    const int disk = open(argv[1], O_WRONLY);
    if (disk < 0 || pwrite(disk, slot, SLOT, offset) != SLOT || fdatasync(disk) != 0) return 5;
    close(disk);
    const int direct = open(argv[1], O_RDONLY | O_DIRECT);
    if (direct < 0 || pread(direct, back, SLOT, offset) != SLOT) return 6;
    close(direct);
    return memcmp(slot, back, SLOT) == 0 ? 0 : 7;
}
