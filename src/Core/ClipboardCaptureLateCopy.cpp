#include "Core/ClipboardCapture.h"

#include "Platform/PasteboardPort.h"

#include <vector>

namespace lorvantine::ClipboardCapture {

void watchForLateCopy(const std::vector<PasteboardItem>&) { }

} // namespace lorvantine::ClipboardCapture
