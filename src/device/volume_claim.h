// The volumes Windows has mounted on one physical drive, held locked and dismounted while a raw
// write runs on that drive. Since Vista, Windows refuses a raw write into the sectors of a
// mounted volume; and a volume that another program is using must not change under it at all.
#pragma once

#include <cstdint>
#include <optional>

#include "device/failure.h"
#include "device/handle_io.h"
#include "device/volume_disks.h"

class VolumeClaim {
  public:
    VolumeClaim() = default;
    VolumeClaim(const VolumeClaim&) = delete;
    VolumeClaim& operator=(const VolumeClaim&) = delete;
    // Closing the handles releases the locks; Windows mounts the volumes anew when next used.
    ~VolumeClaim() = default;

    // Locks, then dismounts, every volume on physical drive `drive`, shown as card_shown. A
    // failure that names the volume's letter when any one of them cannot be; a drive letter that
    // does not open, or cannot say which disks it lies on, is passed over (Windows before 2000
    // has no such question, and then nothing is claimed).
    Result claim(int32_t drive, const char* card_shown);

  private:
    std::optional<ScopedHandle> held_[DRIVE_LETTERS];
};

// "Volume E: on \\.\PHYSICALDRIVE1 could not be locked: ", or "Volume E: could not be locked: "
// where the card is the letter's volume itself (the 9x family), and the system's reason.
Failure locked_volume_failure(char letter, const char* card_shown, DWORD error);

// Asks Windows to read the layout of the disk anew, after its sectors were written.
void refresh_disk_layout(HANDLE disk);
