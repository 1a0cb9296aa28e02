// The volumes Windows has mounted on one physical drive, held locked and dismounted while a raw
// write runs on that drive. Since Vista, Windows refuses a raw write into the sectors of a
// mounted volume; and a volume that another program is using must not change under it at all.
#pragma once

#include <cstdint>
#include <optional>

#include "device/handle_io.h"
#include "device/outcome.h"
#include "device/volume_disks.h"

class VolumeClaim {
  public:
    VolumeClaim() = default;
    VolumeClaim(const VolumeClaim&) = delete;
    VolumeClaim& operator=(const VolumeClaim&) = delete;
    // Closing the handles releases the locks; Windows mounts the volumes anew when next used.
    ~VolumeClaim() = default;

    // Locks, then dismounts, every volume on physical drive `drive`. A failure that names the
    // volume's letter when any one of them cannot be; a drive letter that does not open, or
    // cannot say which disks it lies on, is passed over (Windows before 2000 has no such
    // question, and then nothing is claimed).
    Outcome claim(int32_t drive);

  private:
    std::optional<ScopedHandle> held_[DRIVE_LETTERS];
};

// Asks Windows to read the layout of the disk anew, after its sectors were written.
void refresh_disk_layout(HANDLE disk);
