#include "transfer/file_transfer.h"

#include <cstring>

#include "disk/file_export.h"
#include "disk/file_record.h"
#include "transfer/fault_words.h"
#include "transfer/image_file.h"
#include "transfer/image_rules.h"
#include "transfer/volume_transfer.h"

Text place_words(const DiskPlace& place) {
    if (place.file != nullptr) return file_called(IMAGE_FILE, place.file);
    Text words("volume ");
    return words.number(place.volume).add(" on ").add(place.card->shown);
}

Failure no_such_file(int32_t status, const DiskPlace& place, const char* name,
                     const DiskLabel& holds, const char* other_case) {
    Text words;
    if (holds.kind != DiskLabel::Kind::disk) {
        words.add("There is no TI disk in ").add(place_words(place)).add(": it is ");
        return Failure::line(status, words.add(disk_text(holds)).add("."));
    }
    words.add("There is no file ").quoted(name).add(" on ").add(place_words(place));
    if (*other_case != '\0') words.add("; did you mean ").add(other_case).add("?");
    return Failure::line(status, other_case[0] != '\0' ? words : words.add("."));
}

Result load_disk(const DiskPlace& place, PreparedImage& disk) {
    disk.present = IMAGE_BYTES;
    if (place.file != nullptr) return prepare_image(place.file, disk);
    return read_volume_image(*place.card, place.volume, disk.bytes);
}

Result read_directory_at(const DiskPlace& place, Directory& directory) {
    PreparedImage image;
    if (Result failed = load_disk(place, image)) return failed;
    directory = read_directory({image.bytes.get(), image.present});
    return std::nullopt;
}
