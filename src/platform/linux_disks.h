// Whole disks on Linux as Windows names and describes them, and claiming one for a writer.
#pragma once

#include <string>
#include <vector>

#include "winapi.h"

namespace linux_layer {

// SLOTPUSH_DEVICE_ROOT, fixed when the tool is built: it stands in for "/" wherever the layer
// looks for disks, so that tests can put ordinary files in their place.
std::string device_root();

// The whole disks in the order their drive numbers follow (sdz before sdaa), virtual ones left
// out.
std::vector<std::string> whole_disks();

// The Linux path behind a Windows name, with disk set to the disk's name when it names one
// (\\.\PHYSICALDRIVEn, or a block device's own path); empty (with the last error set) when
// there is none.
std::string resolve(const char* name, std::string& disk);

// The first line of a /sys/block attribute of a disk; empty when it cannot be read.
std::string disk_attribute(const std::string& disk, const char* attribute);

// A disk as Windows describes it; false, with the last error set, when its size is unknown.
bool disk_geometry(const std::string& disk, DISK_GEOMETRY& geometry);

// Claims a disk for its first write, as Windows refuses a raw write it may not make: refused
// when the card is write-protected, and, since on Linux nothing else guards it, claimed
// exclusively: refused while any of its partitions is mounted, swap, or held by LVM or RAID, or
// another program holds its lock (ERROR_BUSY; mounted_partitions says by whom). The descriptor
// is read-only (udev probes a disk again when a writable descriptor closes); the claim lasts
// until it is closed. -1, with the last error set, on refusal.
int claim_disk(const std::string& path, const std::string& disk);

// The directories the disk's partitions are mounted on, ", " between them; empty for none.
std::string mount_directories(const std::string& path, const std::string& disk);

// "/dev/sdb1 is mounted on /media/card" for each of the disk's mounts, ", " between them.
std::string mounted_partitions(const std::string& path, const std::string& disk);

// What the disk says it is, as sysfs holds it: its vendor, and its product (the model of a SCSI
// or USB disk, the name of an MMC or SD card); empty where it says nothing.
std::string disk_vendor(const std::string& disk);
std::string disk_product(const std::string& disk);

}  // namespace linux_layer
