#pragma once

#include <string>

namespace lorvantine {

// The font a simulated text element is laid out in. Characters the family lacks (CJK, emoji)
// fall back through fontconfig.
struct SimFont {
    enum class Weight { regular, bold };

    std::string family = "DejaVu Sans";
    double size = 16; // points
    Weight weight = Weight::regular;

    friend bool operator==(const SimFont&, const SimFont&) = default;
};

} // namespace lorvantine
