#include "Recognition/OCRTestDesktop.h"

#include <cmath>

namespace lorvantine::testing {

OCRTestDesktop::OCRTestDesktop() : OCRTestDesktop(DesktopTruthRecognizer::Noise()) {}

OCRTestDesktop::OCRTestDesktop(DesktopTruthRecognizer::Noise noise)
{
    m_services.accessibility = m_accessibility;
    m_services.windowServer = m_windowList;
    m_services.windowCapture = m_capture;
    m_services.textRecognizer = std::make_shared<DesktopTruthRecognizer>(
        [this](const Image& image) { return truthFor(image); }, noise);
    m_previous = Platform::install(m_services);
}

OCRTestDesktop::~OCRTestDesktop() { Platform::install(m_previous); }

AXElement OCRTestDesktop::addWindow(ProcessID pid, uint32_t number, const Rect& frame, double scale, const std::string& title)
{
    AXElement element{pid, 1000 + number};
    m_accessibility->set(element, AXName::position, frame.origin);
    m_accessibility->set(element, AXName::size, frame.size);
    m_accessibility->set(element, AXName::title, title);
    m_windowList->add(WindowInfo{.kCGWindowNumber = number, .kCGWindowOwnerPID = pid, .kCGWindowBounds = frame});

    // Every window gets a colour of its own, so that each picture is told apart by its digest.
    uint32_t colour = 0xFF000000u | ((number * 2654435761u) & 0xFFFFFFu);
    Image picture = Image::filled(static_cast<int>(std::lround(frame.width() * scale)),
                                  static_cast<int>(std::lround(frame.height() * scale)), colour);
    m_windows[number] = Window{frame, scale, picture.digest(), {}};
    m_capture->setPicture(number, std::move(picture));
    return element;
}

void OCRTestDesktop::setText(uint32_t number, std::vector<std::vector<RecognizedWord>> lines)
{
    m_windows.at(number).lines = std::move(lines);
}

void OCRTestDesktop::useRecognizer(std::shared_ptr<TextRecognitionPort> recognizer)
{
    m_services.textRecognizer = std::move(recognizer);
    Platform::install(m_services);
}

std::optional<std::vector<DesktopTruthRecognizer::Line>> OCRTestDesktop::truthFor(const Image& image) const
{
    for (const auto& [number, window] : m_windows) {
        if (window.pictureDigest != image.sourceDigest)
            continue;
        std::vector<DesktopTruthRecognizer::Line> lines;
        for (const std::vector<RecognizedWord>& line : window.lines) {
            DesktopTruthRecognizer::Line out;
            for (const RecognizedWord& word : line) {
                const Rect& r = word.screenRect;
                out.words.push_back({word.text, Rect((r.minX() - window.frame.minX()) * window.scale - image.sourceX,
                                                     (r.minY() - window.frame.minY()) * window.scale - image.sourceY,
                                                     r.width() * window.scale, r.height() * window.scale)});
            }
            lines.push_back(std::move(out));
        }
        return lines;
    }
    return std::nullopt;
}

} // namespace lorvantine::testing
