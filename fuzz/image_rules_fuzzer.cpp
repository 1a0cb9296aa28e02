// Any file as an image: loading reads no more than the file, the track-dump conversion stays
// inside both buffers and leaves its input alone, widening changes only its fields and is
// idempotent.
#include <cstring>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "testing/fake_machine.h"
#include "transfer/image_file.h"
#include "transfer/image_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fake::reset();
    fake::machine().files["image"].assign(data, data + size);
    LoadedFile file;
    const Result failed = load_file("image", IMAGE_BYTES, file);
    FUZZ_CHECK(fake::machine().open_handle_count() == 0);
    if (size > IMAGE_BYTES) {
        FUZZ_CHECK(failed && failed->status() == RESULT_IMAGE_TOO_LARGE && !file.bytes);
        return 0;
    }
    FUZZ_CHECK(!failed && file.length == size);
    Buffer image = std::move(file.bytes);
    FUZZ_CHECK(size == 0 || std::memcmp(image.get(), data, size) == 0);
    static const std::vector<uint8_t> fill(IMAGE_BYTES, FILL_BYTE);
    FUZZ_CHECK(std::memcmp(image.get() + size, fill.data(), IMAGE_BYTES - size) == 0);

    const std::vector<uint8_t> loaded(image.get(), image.get() + IMAGE_BYTES);
    if (is_track_dump(ConstImageView{image.get(), IMAGE_BYTES})) {
        Buffer converted = convert_track_dump(ConstImageView{image.get(), IMAGE_BYTES});
        FUZZ_CHECK(converted);
        FUZZ_CHECK(std::memcmp(image.get(), loaded.data(), IMAGE_BYTES) == 0);
        image = std::move(converted);
    }
    const ImageView view{image.get(), IMAGE_BYTES};
    const std::vector<uint8_t> before(view.begin(), view.end());
    widen_to_1600_sectors(view.first<IMAGE_SECTOR_BYTES>());
    FUZZ_CHECK(view[10] == 0x06 && view[11] == 0x40);
    FUZZ_CHECK(std::memcmp(view.data(), before.data(), 10) == 0);
    FUZZ_CHECK(std::memcmp(view.data() + 12, before.data() + 12, 44) == 0);
    FUZZ_CHECK(std::memcmp(view.data() + 256, before.data() + 256, IMAGE_BYTES - 256) == 0);
    for (size_t n = 56; n < 256; ++n) FUZZ_CHECK((view[n] & ~before[n]) == 0);  // only cleared
    const std::vector<uint8_t> once(view.begin(), view.end());
    widen_to_1600_sectors(view.first<IMAGE_SECTOR_BYTES>());
    FUZZ_CHECK(std::memcmp(view.data(), once.data(), IMAGE_BYTES) == 0);
    image.reset();
    FUZZ_CHECK(fake::machine().allocation_count() == 0);
    return 0;
}
