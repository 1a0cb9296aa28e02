// The card the UNDO fuzz target and its seed share: a card file whose every device sector
// differs from the others, a disk written into volume 2 and then renamed by the tool itself,
// the rename kept for UNDO or not (a record of a few sectors, which the fuzzer takes quickly).
#pragma once

#include <string>
#include <vector>

#include "front/front_end.h"
#include "slotpush.h"
#include "testing/fake_machine.h"
#include "testing/images.h"

namespace undo_card {

inline constexpr const char* RECORD = "state/00000001.undo";

inline int run(std::vector<std::string> words) {
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    return slotpush_main(static_cast<int>(words.size()), argv.data());
}

// The card as the write left it, in a fresh fake machine.
inline void written(bool kept) {
    fake::reset();
    fake::Machine& m = fake::machine();
    std::vector<uint8_t> card(2 * SLOT_BYTES);
    for (size_t i = 0; i < card.size(); ++i) card[i] = static_cast<uint8_t>(i / 512 + i % 7);
    m.files["card.img"] = card;
    m.files["disk.dsk"] = testing_support::disk_with_files({{"LOAD", 0x01, 0, 2}});
    run({"slotpush", "--card", "card.img", "--no-undo", "disk.dsk", "2"});
    std::vector<std::string> words = {"slotpush", "--card", "card.img", "NAME", "2", "FUZZ"};
    if (!kept) words.push_back("--no-undo");
    run(words);
}

}  // namespace undo_card
