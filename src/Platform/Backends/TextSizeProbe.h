#pragma once

#include "Platform/Backends/GrayImage.h"

namespace lorvantine {

// How large the text of a picture is, judged from its rows of ink alone, before anything is
// recognised: whether the picture can be read at half its width and height without losing words.
// Tesseract reads Latin script well down to an x-height of about 7 pixels, but Chinese and
// Japanese only from a character height of about 18 pixels; below that, whole stretches come back
// wrong. About ten milliseconds for a 2× capture of a large window, which takes most of a second
// to recognise.
namespace TextSizeProbe {

// True when the lines of text in `image` keep those sizes at half the resolution. A little
// smaller text may remain (a footnote, a caption, an icon taken for a character), less of it
// when it looks like Chinese. False when nothing in the picture looks like text.
bool readableAtHalfSize(const GrayImage& image);

} // namespace TextSizeProbe
} // namespace lorvantine
