#include "device/change_record.h"

#include <bit>
#include <cstring>

#include "device/card.h"
#include "slotpush.h"

namespace {

// The header: MAGIC, then the card's path and shown name, whether it is a file and the file's
// identity, when and the command, each text a 16-bit length and its bytes; then the checksum
// of all that. An entry: its tag, the run's byte offset (64 bits) and length (32), for a kept
// one whether it is uniform and the value, then its body and the checksum of all of it. Every
// number is little-endian.
constexpr char MAGIC[8] = {'S', 'L', 'P', 'U', 'N', 'D', 'O', '1'};
constexpr uint8_t KEPT_TAG = 'K';
constexpr uint8_t LEFT_TAG = 'L';
constexpr size_t ENTRY_HEAD_BYTES = 1 + 8 + 4 + 2;
constexpr size_t SUM_BYTES = 8;
constexpr int MOST_NAME_TRIES = 100;

// The digest: four lanes of 64-bit words, each word multiplied in and rotated (the round of the
// public xxHash64), so that the lanes run side by side; the lanes merged, the bytes past the last
// 32 taken one at a time (FNV-1a), and the sum's bits mixed at the end.
constexpr uint64_t PRIME_1 = 0x9E3779B185EBCA87u;
constexpr uint64_t PRIME_2 = 0xC2B2AE3D27D4EB4Fu;
constexpr uint64_t FNV_PRIME = 0x100000001B3u;
constexpr size_t STRIPE_BYTES = 32;
static_assert(std::endian::native == std::endian::little, "the digest reads words as they lie");

constexpr uint64_t rotated(uint64_t value, int bits) {
    return value << bits | value >> (64 - bits);
}

uint64_t digest_more(uint64_t sum, std::span<const uint8_t> bytes) {
    for (const uint8_t byte : bytes) sum = (sum ^ byte) * FNV_PRIME;
    return sum;
}

uint64_t mixed(uint64_t sum) {
    sum = (sum ^ sum >> 33) * PRIME_2;
    return sum ^ sum >> 29;
}

// An entry's checksum: its head taken into the digest of its body.
uint64_t entry_sum(const uint8_t* head, std::span<const uint8_t> body) {
    return mixed(digest_more(digest_of(body), {head, ENTRY_HEAD_BYTES}));
}

void put_le(uint8_t* out, uint64_t value, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}
uint64_t get_le(const uint8_t* in, size_t bytes) {
    uint64_t value = 0;
    for (size_t i = bytes; i-- > 0;) value = value << 8 | in[i];
    return value;
}

// The header's fields, put into out or read from in, one after another.
class Fields {
  public:
    Fields(uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}
    bool put_number(uint64_t value, size_t bytes) {
        if (at_ + bytes > size_) return false;
        put_le(bytes_ + at_, value, bytes);
        at_ += bytes;
        return true;
    }
    bool put_text(const char* text) {
        const size_t length = std::strlen(text);
        if (!put_number(length, 2) || at_ + length > size_) return false;
        std::memcpy(bytes_ + at_, text, length);
        at_ += length;
        return true;
    }
    bool get_number(uint64_t& value, size_t bytes) {
        if (at_ + bytes > size_) return false;
        value = get_le(bytes_ + at_, bytes);
        at_ += bytes;
        return true;
    }
    bool get_text(char* text, size_t capacity) {
        uint64_t length = 0;
        if (!get_number(length, 2) || length >= capacity || at_ + length > size_) return false;
        std::memcpy(text, bytes_ + at_, length);
        text[length] = '\0';
        at_ += length;
        return true;
    }
    size_t at() const { return at_; }

  private:
    uint8_t* bytes_;
    size_t size_;
    size_t at_ = 0;
};

constexpr size_t MOST_HEADER_BYTES = sizeof MAGIC + 4 * MAX_PATH + 16 + KEPT_COMMAND_BYTES;
// Past the bound's kept bytes a record holds each run's head and a digest of every sector the run
// wrote, 1/64 of what it wrote: 1 GiB covers a RESTORE of 80,000 volumes.
constexpr uint64_t MOST_RECORD_BYTES = uint64_t{1} << 30;

// Compared by hand: the Windows programs import no memcmp.
bool same_bytes(const uint8_t* bytes, const char* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (bytes[i] != static_cast<uint8_t>(text[i])) return false;
    }
    return true;
}

bool uniform_bytes(std::span<const uint8_t> bytes) {
    for (const uint8_t byte : bytes) {
        if (byte != bytes[0]) return false;
    }
    return true;
}

// The whole entries of a record's bytes from at on, up to the first that is not; how many.
// Each into out, where it is given.
size_t whole_entries(const uint8_t* bytes, size_t at, size_t size, RecordEntry* out) {
    size_t count = 0;
    while (at + ENTRY_HEAD_BYTES + SUM_BYTES <= size) {
        const uint8_t* head = bytes + at;
        const RecordEntry entry = {head[0] == KEPT_TAG,
                                   get_le(head + 1, 8),
                                   static_cast<uint32_t>(get_le(head + 9, 4)),
                                   head[13] != 0,
                                   head[14],
                                   head + ENTRY_HEAD_BYTES};
        const bool known = head[0] == KEPT_TAG || head[0] == LEFT_TAG;
        const uint64_t body = !entry.kept ? uint64_t{entry.length} / DEVICE_SECTOR_BYTES * SUM_BYTES
                              : entry.uniform ? 0
                                              : entry.length;
        const bool sound = known && entry.length % DEVICE_SECTOR_BYTES == 0 &&
                           entry.length <= SLOT_BYTES &&
                           entry.byte_offset % DEVICE_SECTOR_BYTES == 0;
        if (!sound || at + ENTRY_HEAD_BYTES + body + SUM_BYTES > size) break;
        const size_t end = at + ENTRY_HEAD_BYTES + static_cast<size_t>(body);
        const std::span<const uint8_t> body_bytes{head + ENTRY_HEAD_BYTES,
                                                  end - at - ENTRY_HEAD_BYTES};
        if (get_le(bytes + end, SUM_BYTES) != entry_sum(head, body_bytes)) break;
        if (out != nullptr) out[count] = entry;
        ++count;
        at = end + SUM_BYTES;
    }
    return count;
}

}  // namespace

void record_path(const char* folder, uint32_t number, char* path) {
    char name[RECORD_NUMBER_DIGITS + sizeof RECORD_SUFFIX] = {};
    for (int i = RECORD_NUMBER_DIGITS; i-- > 0; number /= 10) name[i] = '0' + number % 10;
    std::memcpy(name + RECORD_NUMBER_DIGITS, RECORD_SUFFIX, sizeof RECORD_SUFFIX);
    const size_t length = std::strlen(folder);
    std::memcpy(path, folder, length);
    bool backslash = false;
    for (const char* c = folder; *c != '\0'; ++c) backslash = backslash || *c == '\\';
    path[length] = backslash ? '\\' : '/';
    std::memcpy(path + length + 1, name, sizeof name);
}

uint64_t digest_of(std::span<const uint8_t> bytes) {
    uint64_t lanes[4] = {PRIME_1 + PRIME_2, PRIME_2, 0, 0 - PRIME_1};
    size_t at = 0;
    for (; at + STRIPE_BYTES <= bytes.size(); at += STRIPE_BYTES) {
        for (size_t lane = 0; lane < 4; ++lane) {
            uint64_t word = 0;  // little-endian, as every machine the tool runs on
            std::memcpy(&word, bytes.data() + at + 8 * lane, sizeof word);
            lanes[lane] = rotated(lanes[lane] + word * PRIME_2, 31) * PRIME_1;
        }
    }
    const uint64_t sum = rotated(lanes[0], 1) + rotated(lanes[1], 7) + rotated(lanes[2], 12) +
                         rotated(lanes[3], 18) + bytes.size();
    return mixed(digest_more(sum, bytes.subspan(at)));
}

Failure record_failure(int32_t status, DWORD error, const char* path) {
    Text what("the undo record ");
    what.quoted(path).add(" (--no-undo makes a change without one)");
    return Failure::system(status, error, what.c_str());
}

Result RecordWriter::open(const ChangeKeeping& keeping, const Card& card) {
    for (int attempt = 0; attempt < MOST_NAME_TRIES; ++attempt) {
        record_path(keeping.folder, keeping.number + static_cast<uint32_t>(attempt), path_);
        // Others may read it meanwhile: an UNDO waiting for the card sees what is whole so far.
        file_.reset(CreateFileA(path_, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file_ || GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (!file_) {
        Failure failed = record_failure(RESULT_CREATE_FAILED, GetLastError(), path_);
        path_[0] = '\0';  // not made here: never this writer's to remove
        return failed;
    }
    uint8_t header[MOST_HEADER_BYTES] = {};
    std::memcpy(header, MAGIC, sizeof MAGIC);
    Fields fields(header + sizeof MAGIC, sizeof header - sizeof MAGIC - SUM_BYTES);
    const FileIdentity file = card.file.value_or(FileIdentity{});
    fields.put_text(card.path);
    fields.put_text(card.shown);
    fields.put_number(card.file.has_value() ? 1 : 0, 1);
    fields.put_number(file.volume, 4);
    fields.put_number(file.index_high, 4);
    fields.put_number(file.index_low, 4);
    fields.put_text(keeping.when);
    fields.put_text(keeping.command);
    const size_t length = sizeof MAGIC + fields.at();
    put_le(header + length, digest_of({header, length}), SUM_BYTES);
    return put({header, length + SUM_BYTES});
}

Result RecordWriter::put(std::span<const uint8_t> bytes) {
    DWORD moved = 0;
    const BOOL written =
        WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &moved, nullptr);
    if (!written) return record_failure(RESULT_SAVE_FAILED, GetLastError(), path_);
    if (moved != bytes.size()) return record_failure(RESULT_SAVE_FAILED, ERROR_DISK_FULL, path_);
    return std::nullopt;
}

Result RecordWriter::entry(uint8_t tag, uint64_t byte_offset, uint32_t length,
                           std::span<const uint8_t> body, uint8_t uniform, uint8_t value) {
    uint8_t head[ENTRY_HEAD_BYTES] = {tag};
    put_le(head + 1, byte_offset, 8);
    put_le(head + 9, length, 4);
    head[13] = uniform;
    head[14] = value;
    if (Result failed = put(head)) return failed;
    if (!body.empty()) {
        if (Result failed = put(body)) return failed;
    }
    uint8_t sum[SUM_BYTES] = {};
    put_le(sum, entry_sum(head, body), SUM_BYTES);
    return put(sum);
}

Result RecordWriter::keep(uint64_t byte_offset, std::span<const uint8_t> old_bytes) {
    const auto length = static_cast<uint32_t>(old_bytes.size());
    const bool uniform = uniform_bytes(old_bytes);
    kept_ += uniform ? 1 : length;
    return uniform ? entry(KEPT_TAG, byte_offset, length, {}, 1, old_bytes[0])
                   : entry(KEPT_TAG, byte_offset, length, old_bytes, 0, 0);
}

Result RecordWriter::left(uint64_t byte_offset, std::span<const uint8_t> new_bytes) {
    uint8_t digests[SLOT_BYTES / DEVICE_SECTOR_BYTES * SUM_BYTES];
    const size_t sectors = new_bytes.size() / DEVICE_SECTOR_BYTES;
    for (size_t s = 0; s < sectors; ++s) {
        put_le(digests + s * SUM_BYTES,
               digest_of(new_bytes.subspan(s * DEVICE_SECTOR_BYTES, DEVICE_SECTOR_BYTES)),
               SUM_BYTES);
    }
    return entry(LEFT_TAG, byte_offset, static_cast<uint32_t>(new_bytes.size()),
                 {digests, sectors * SUM_BYTES}, 0, 0);
}

Result RecordWriter::flush() {
    if (FlushFileBuffers(file_.get())) return std::nullopt;
    return record_failure(RESULT_SAVE_FAILED, GetLastError(), path_);
}

void RecordWriter::close(bool remove) {
    file_.reset(INVALID_HANDLE_VALUE);
    if (remove && path_[0] != '\0') DeleteFileA(path_);
}

uint64_t RecordEntry::sector_digest(uint32_t sector) const {
    return get_le(body + size_t{sector} * SUM_BYTES, SUM_BYTES);
}

Result RecordReader::load(const char* path) {
    ScopedHandle file(
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return record_failure(RESULT_NO_SOURCE, GetLastError(), path);
    uint64_t file_size = 0;
    DWORD error = seek_to_end(file.get(), file_size);
    if (error == NO_ERROR && file_size > MOST_RECORD_BYTES) error = ERROR_FILE_TOO_LARGE;
    const auto size = static_cast<size_t>(error == NO_ERROR ? file_size : 0);
    bytes_ = error == NO_ERROR ? obtain<uint8_t>(size + 1) : nullptr;
    if (error == NO_ERROR && !bytes_) error = GetLastError();
    if (error == NO_ERROR) error = read_at(file.get(), 0, {bytes_.get(), size});
    if (error != NO_ERROR) return record_failure(RESULT_NO_SOURCE, error, path);
    uint8_t* bytes = bytes_.get();
    Fields fields(bytes + sizeof MAGIC, size > sizeof MAGIC ? size - sizeof MAGIC : 0);
    uint64_t has_file = 0, volume = 0, high = 0, low = 0;
    bool whole = size > sizeof MAGIC && same_bytes(bytes, MAGIC, sizeof MAGIC) &&
                 fields.get_text(header_.card_path, sizeof header_.card_path) &&
                 fields.get_text(header_.card_shown, sizeof header_.card_shown) &&
                 fields.get_number(has_file, 1) && fields.get_number(volume, 4) &&
                 fields.get_number(high, 4) && fields.get_number(low, 4) &&
                 fields.get_text(header_.when, sizeof header_.when) &&
                 fields.get_text(header_.command, sizeof header_.command);
    size_t at = sizeof MAGIC + fields.at();
    whole =
        whole && at + SUM_BYTES <= size && get_le(bytes + at, SUM_BYTES) == digest_of({bytes, at});
    if (!whole) {
        Text words("the undo record ");
        return Failure(RESULT_NO_SOURCE,
                       words.quoted(path).add(" is damaged: its header is not whole."));
    }
    header_.has_file = has_file != 0;
    header_.file = {static_cast<DWORD>(volume), static_cast<DWORD>(high), static_cast<DWORD>(low)};
    at += SUM_BYTES;
    count_ = whole_entries(bytes, at, size, nullptr);
    entries_ = obtain<RecordEntry>(count_ + 1);
    if (!entries_) return record_failure(RESULT_NO_SOURCE, GetLastError(), path);
    whole_entries(bytes, at, size, entries_.get());
    for (const RecordEntry& entry : entries()) wrote_ = wrote_ || !entry.kept;
    return std::nullopt;
}

bool RecordReader::of(const Card& card) const {
    if (header_.has_file || card.file.has_value()) {
        return header_.has_file && card.file.has_value() && header_.file == *card.file;
    }
    return std::strcmp(header_.card_path, card.path) == 0;
}
