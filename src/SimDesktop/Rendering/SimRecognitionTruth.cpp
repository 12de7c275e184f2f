#include "SimDesktop/Rendering/SimRecognitionTruth.h"

#include "Platform/Backends/TesseractRecognizer.h"
#include "Support/Log.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace lorvantine {

void SimRecognitionTruth::remember(uint64_t digest, Lines lines)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_pictures, [&](const Picture& p) { return p.digest == digest; });
    m_pictures.push_back({ digest, std::move(lines) });
    while (m_pictures.size() > capacity)
        m_pictures.pop_front();
}

std::optional<SimRecognitionTruth::Lines> SimRecognitionTruth::linesFor(const Image& image) const
{
    const uint64_t digest = image.sourceDigest != 0 ? image.sourceDigest : image.digest();
    Lines lines;
    {
        std::lock_guard lock(m_mutex);
        auto it = std::find_if(m_pictures.rbegin(), m_pictures.rend(), [&](const Picture& p) { return p.digest == digest; });
        if (it == m_pictures.rend())
            return std::nullopt;
        lines = it->lines;
    }
    const double dx = image.sourceDigest != 0 ? image.sourceX : 0;
    const double dy = image.sourceDigest != 0 ? image.sourceY : 0;
    for (auto& line : lines)
        for (auto& word : line.words)
            word.box = Rect(word.box.origin.x - dx, word.box.origin.y - dy, word.box.width(), word.box.height());
    return lines;
}

void SimRecognitionTruth::setNoise(const DesktopTruthRecognizer::Noise& noise)
{
    std::lock_guard lock(m_mutex);
    m_noise = noise;
}

DesktopTruthRecognizer::Noise SimRecognitionTruth::noise() const
{
    std::lock_guard lock(m_mutex);
    return m_noise;
}

std::shared_ptr<TextRecognitionPort> SimRecognitionTruth::makeRecognizer(const std::shared_ptr<SimRecognitionTruth>& truth)
{
    if (readsPixels())
        return std::make_shared<TesseractRecognizer>();
    const char* choice = std::getenv("LORVANTINE_RECOGNIZER");
    const std::string name = choice ? choice : "";
    if (!name.empty() && name != "desktop-truth")
        Log::line("[SimDesktop] LORVANTINE_RECOGNIZER=\"" + name
                  + "\" names no recogniser (desktop-truth or tesseract); using desktop-truth");
    return std::make_shared<DesktopTruthRecognizer>([truth](const Image& image) { return truth->linesFor(image); },
                                                    truth->noise());
}

bool SimRecognitionTruth::readsPixels()
{
    const char* choice = std::getenv("LORVANTINE_RECOGNIZER");
    return choice && std::string(choice) == "tesseract";
}

} // namespace lorvantine
