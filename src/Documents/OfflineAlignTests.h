#pragma once

#include "Documents/RecognizedWord.h"

#include <string>
#include <vector>

namespace lorvantine {

// A fixed set of copied texts with made-up recognised words around them, run through the
// copy-and-recognise alignment without any window, capture or other application, to show how
// many words it places. Stateless; the report goes to standard error. Runs on the calling thread
// (the command line's main thread) and returns when every case has run.
namespace OfflineAlignTests {

struct TestCase {
    std::string name;
    std::string clipboard;
    std::vector<RecognizedWord> ocrWords; // in reading order
    int expectMinMatches = 0;
    // Words that must be among the aligned ones, in the clipboard's wording.
    std::vector<std::string> expectMatchedWords;
    bool allowNil = false; // the alignment may give nothing at all
};

// The cases, in the order they run.
std::vector<TestCase> cases();

struct Outcome {
    int passed = 0;
    std::vector<std::string> failed; // case names, in order
};

// Runs every case, writing a block per failed case (and with `verbose` a line per passed one),
// then the totals.
Outcome runAll(bool verbose);
// The same over cases of the caller's.
Outcome run(const std::vector<TestCase>& cases, bool verbose);

} // namespace OfflineAlignTests
} // namespace lorvantine
