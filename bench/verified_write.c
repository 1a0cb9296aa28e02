/* The least a verified slot write can do, as the bench's limit: one write of the interleaved
 * slot at its offset, one fdatasync, one read back past the page cache (O_DIRECT), one compare.
 * Given a KEEP_FILE, it first keeps what the slot held, as a change UNDO can take back keeps
 * it: one read of the old slot, one write of it into a new file, one fdatasync of that file.
 * Usage: verified_write DISK SLOT_FILE OFFSET [KEEP_FILE]; exit status 0 when the disk holds
 * the slot. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { SLOT = 819200, PAGE = 4096 };

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) return 2;
    const off_t offset = strtoll(argv[3], NULL, 10);
    char *slot, *back;
    if (posix_memalign((void**)&slot, PAGE, SLOT) || posix_memalign((void**)&back, PAGE, SLOT))
        return 3;
    const int in = open(argv[2], O_RDONLY);
    if (in < 0 || read(in, slot, SLOT) != SLOT) return 4;
    close(in);
    const int disk = open(argv[1], O_RDWR);
    if (disk < 0) return 5;
    if (argc == 5) {
        const int keep = open(argv[4], O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (keep < 0 || pread(disk, back, SLOT, offset) != SLOT ||
            write(keep, back, SLOT) != SLOT || fdatasync(keep) != 0 || close(keep) != 0)
            return 8;
    }
    if (pwrite(disk, slot, SLOT, offset) != SLOT || fdatasync(disk) != 0) return 5;
    close(disk);
    const int direct = open(argv[1], O_RDONLY | O_DIRECT);
    if (direct < 0 || pread(direct, back, SLOT, offset) != SLOT) return 6;
    close(direct);
    return memcmp(slot, back, SLOT) == 0 ? 0 : 7;
}
