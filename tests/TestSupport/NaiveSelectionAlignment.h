#pragma once

#include "Documents/RecognizedWord.h"
#include "Accessibility/OCRWordEntry.h"

#include <string>
#include <vector>

namespace lorvantine {

// The word alignment of a copied selection to recognised words written the straightforward way:
// every cell of the table measures every group pair and every approximate occurrence in full, on
// strings joined afresh. The program's alignment must give exactly its entries; the benchmark
// measures against it.
std::vector<OCRWordEntry> naiveAlignWordLevel(const std::vector<std::string>& clipWords, const std::vector<int>& clipOffsets,
                                              const std::vector<RecognizedWord>& ocrWords);

} // namespace lorvantine
