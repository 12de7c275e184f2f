#include "Platform/Backends/DesktopTruthRecognizer.h"

#include "Platform/Backends/RecognizedLineBuilder.h"
#include "Support/Text.h"

#include <algorithm>

namespace lorvantine {

namespace {

constexpr const char* errorDomain = "DesktopTruthRecognizer";

// splitmix64: the same sequence on every platform, unlike the standard distributions.
class NoiseSource {
public:
    explicit NoiseSource(uint64_t seed) : m_state(seed) {}
    uint64_t next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }

private:
    uint64_t m_state;
};

char32_t misread(char32_t c, uint64_t pick)
{
    if (c >= 'a' && c <= 'z')
        return U'a' + (c - U'a' + 1 + pick % 25) % 26;
    if (c >= 'A' && c <= 'Z')
        return U'A' + (c - U'A' + 1 + pick % 25) % 26;
    if (c >= '0' && c <= '9')
        return U'0' + (c - U'0' + 1 + pick % 9) % 10;
    if (c >= 0x4E00 && c < 0x9FFF)
        return c + 1;
    return c == U'x' ? U'y' : U'x';
}

std::string withTypo(const std::string& word, uint64_t pick)
{
    std::vector<std::string> characters = Text::characters(word);
    if (characters.empty())
        return word;
    size_t at = static_cast<size_t>(pick % characters.size());
    std::u32string scalars = Text::scalars(characters[at]);
    characters[at] = Text::fromScalars(std::u32string(1, misread(scalars.front(), pick / 31)));
    return Text::joined(characters, "");
}

Rect unionOf(const Rect& a, const Rect& b)
{
    double x0 = std::fmin(a.minX(), b.minX()), y0 = std::fmin(a.minY(), b.minY());
    double x1 = std::fmax(a.maxX(), b.maxX()), y1 = std::fmax(a.maxY(), b.maxY());
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

// `box` cut into `count` equal columns.
std::vector<Rect> columnsOf(const Rect& box, size_t count)
{
    std::vector<Rect> columns;
    double width = box.width() / static_cast<double>(count);
    for (size_t i = 0; i < count; ++i)
        columns.emplace_back(box.minX() + width * static_cast<double>(i), box.minY(), width, box.height());
    return columns;
}

std::vector<DesktopTruthRecognizer::Word> withNoise(const std::vector<DesktopTruthRecognizer::Word>& words,
                                                    const DesktopTruthRecognizer::Noise& noise, NoiseSource& source)
{
    std::vector<DesktopTruthRecognizer::Word> out;
    for (size_t i = 0; i < words.size(); ++i) {
        DesktopTruthRecognizer::Word word = words[i];
        double typo = source.unit(), merge = source.unit(), split = source.unit();
        uint64_t pick = source.next();
        if (typo < noise.typoRate)
            word.text = withTypo(word.text, pick);
        if (merge < noise.mergeRate && i + 1 < words.size()) {
            word.text += words[i + 1].text;
            word.box = unionOf(word.box, words[i + 1].box);
            ++i;
        } else if (split < noise.splitRate) {
            std::vector<std::string> characters = Text::characters(word.text);
            if (characters.size() >= 2) {
                size_t cut = (characters.size() + 1) / 2;
                double share = static_cast<double>(cut) / static_cast<double>(characters.size());
                Rect left(word.box.minX(), word.box.minY(), word.box.width() * share, word.box.height());
                Rect right(left.maxX(), word.box.minY(), word.box.width() - left.width(), word.box.height());
                out.push_back({Text::joined({characters.begin(), characters.begin() + static_cast<long>(cut)}, ""), left});
                out.push_back({Text::joined({characters.begin() + static_cast<long>(cut), characters.end()}, ""), right});
                continue;
            }
        }
        out.push_back(std::move(word));
    }
    return out;
}

} // namespace

DesktopTruthRecognizer::DesktopTruthRecognizer(TruthProvider provider) : m_provider(std::move(provider)) {}

DesktopTruthRecognizer::DesktopTruthRecognizer(TruthProvider provider, Noise noise)
    : m_provider(std::move(provider))
    , m_noise(noise)
{
}

Expected<std::vector<TextObservation>, ErrorValue> DesktopTruthRecognizer::recognize(const Image& image,
                                                                                   const TextRecognitionRequest&)
{
    if (image.isEmpty())
        return Unexpected(ErrorValue{errorDomain, 1, "The image has no pixels."});
    std::optional<std::vector<Line>> lines = m_provider ? m_provider(image) : std::nullopt;
    if (!lines)
        return Unexpected(ErrorValue{errorDomain, 2, "No text layout is known for this picture."});

    const Rect bounds(0, 0, image.width, image.height);
    auto normalised = [&](const Rect& r) {
        return Rect(r.minX() / bounds.width(), 1 - r.maxY() / bounds.height(), r.width() / bounds.width(),
                    r.height() / bounds.height());
    };

    NoiseSource source(m_noise.seed);
    std::vector<TextObservation> observations;
    for (const Line& line : *lines) {
        std::vector<Word> seen;
        for (const Word& word : line.words) {
            if (Text::isBlank(word.text) || !bounds.contains({word.box.midX(), word.box.midY()}))
                continue;
            seen.push_back({word.text, word.box.intersection(bounds)});
        }
        seen = withNoise(seen, m_noise, source);

        RecognizedLineBuilder builder;
        std::optional<Rect> lineBox;
        const Word* previous = nullptr;
        for (const Word& word : seen) {
            Rect box = normalised(word.box);
            std::vector<Rect> characterBoxes;
            for (const Rect& column : columnsOf(word.box, Text::characterCount(word.text)))
                characterBoxes.push_back(normalised(column));
            // A line reported across a gutter keeps the blank between its two sides.
            const bool apart = previous
                && word.box.minX() - previous->box.maxX()
                    > RecognizedLineBuilder::apartInCharacterHeights * std::max(word.box.height(), previous->box.height());
            builder.append(word.text, box, characterBoxes, apart);
            lineBox = lineBox ? unionOf(*lineBox, box) : box;
            previous = &word;
        }
        if (builder.isEmpty())
            continue;
        observations.push_back({*lineBox, builder.build(1.0)});
    }
    return observations;
}

} // namespace lorvantine
