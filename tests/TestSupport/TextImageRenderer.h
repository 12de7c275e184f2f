#pragma once

#include "Platform/Geometry.h"
#include "Platform/Image.h"

#include <string>
#include <vector>

namespace lorvantine::testing {

// Draws text with Pango into a picture the way a text view would show it (black on white), and
// says where every word really is, so recognition of the picture can be checked against it.
class TextImageRenderer {
public:
    struct Options {
        std::string family = "DejaVu Sans"; // fontconfig falls back to WenQuanYi Zen Hei for CJK
        double fontSize = 16; // points
        double wrapWidth = 560; // points
        double margin = 24; // points of white around the text
        double scale = 1; // pixels per point
    };

    // A word: a run of characters between white space, except that every character of a script
    // written without spaces is a word of its own. Boxes are in points from the picture's top-left
    // corner: `logical` is the layout's box, `ink` the box of the word's dark pixels.
    struct Word {
        std::string text;
        Rect logical;
        Rect ink;
    };

    struct Rendering {
        Image image;
        double scale = 1;
        std::vector<Word> words; // in text order
    };

    static Rendering render(const std::string& text, const Options& options);
    static Rendering render(const std::string& text) { return render(text, Options()); }
};

} // namespace lorvantine::testing
