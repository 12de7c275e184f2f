#include "Platform/Toolkit/TextMeasurer.h"

#include "Support/Text.h"

#include <algorithm>
#include <vector>
#include <cmath>
#include <mutex>

namespace lorvantine {

namespace {

// Headless estimate: 0.6 em per Character, 1.2 em per line, wrapping by Characters.
class EstimatingTextMeasurer final : public TextMeasurer {
public:
    Size size(const std::string& text, const Font& font, std::optional<double> maxWidth) const override
    {
        const double advance = font.size * 0.6;
        double widest = 0;
        int lines = 0;
        size_t begin = 0;
        while (true) {
            const size_t end = text.find('\n', begin);
            const std::string line = text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
            const double width = static_cast<double>(Text::characterCount(line)) * advance;
            if (maxWidth && *maxWidth > 0 && width > *maxWidth) {
                lines += static_cast<int>(std::ceil(width / *maxWidth));
                widest = std::max(widest, *maxWidth);
            } else {
                lines += 1;
                widest = std::max(widest, width);
            }
            if (end == std::string::npos)
                break;
            begin = end + 1;
        }
        return { widest, lines * lineHeight(font) };
    }
    double lineHeight(const Font& font) const override { return std::ceil(font.size * 1.2); }
};

std::mutex s_mutex;
const TextMeasurer* s_installed = nullptr;

} // namespace

std::shared_ptr<const TextLayout> TextMeasurer::makeLayout(const TextLayout::Parameters& parameters) const
{
    return std::make_shared<const TextLayout>(parameters);
}

const TextMeasurer& TextMeasurer::current()
{
    static const EstimatingTextMeasurer estimate;
    std::lock_guard lock(s_mutex);
    return s_installed ? *s_installed : estimate;
}

std::shared_ptr<const TextMeasurer> TextMeasurer::install(std::shared_ptr<const TextMeasurer> measurer)
{
    // Every measurer ever installed stays alive, so a reference from `current` never dangles.
    static std::vector<std::shared_ptr<const TextMeasurer>> installed;
    std::lock_guard lock(s_mutex);
    std::shared_ptr<const TextMeasurer> previous;
    for (const auto& m : installed)
        if (m.get() == s_installed)
            previous = m;
    if (measurer)
        installed.push_back(measurer);
    s_installed = measurer.get();
    return previous;
}

} // namespace lorvantine
