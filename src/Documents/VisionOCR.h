#pragma once

#include "Accessibility/OCRWordEntry.h"
#include "Documents/RecognizedWord.h"
#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"
#include "Platform/Image.h"

#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// The words of another application's window where it exposes no usable text: a picture of the
// window, cut to the part to read, recognised, mapped to screen points and put into reading
// order (one or two columns). No state: any thread, several at once.
namespace VisionOCR {

// The words of `contentRect` (global screen points, top-left origin) of the window, in reading
// order, or none when the capture or the recognition failed (each failure writes its line).
// `languages`: recognition language codes in order of preference; none means "en", "zh-Hans",
// "zh-Hant". Blocks for the capture and the recognition, so never call it on the main thread.
std::optional<std::vector<RecognizedWord>> recognizeWords(const Rect& contentRect,
                                                          const std::optional<AXElement>& windowElement,
                                                          const std::optional<std::vector<std::string>>& languages = std::nullopt);

// The pixels of `contentRect` of the window, cut from a capture of the window alone (nothing in
// front of it shows), as recognition would read them; none when the capture failed (each failure
// writes its line). No recognition: enough to see whether a page has changed. Blocks for the
// capture.
std::optional<Image> capturePicture(const Rect& contentRect, const std::optional<AXElement>& windowElement);

// Where the Characters [charLower, charUpper) of a recognised paragraph lie on screen: one
// rectangle per screen line, top line first. A range that touches no word gives the box of the
// word nearest to it; only an empty `words` gives an empty list.
std::vector<Rect> lookupRects(const std::vector<OCRWordEntry>& words, int charLower, int charUpper);

} // namespace VisionOCR
} // namespace lorvantine
