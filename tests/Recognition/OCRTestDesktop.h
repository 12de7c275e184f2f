#pragma once

#include "Documents/RecognizedWord.h"
#include "Platform/Backends/DesktopTruthRecognizer.h"
#include "Platform/Services.h"
#include "Recognition/FakeWindowAccessibility.h"
#include "Recognition/FakeWindowCapture.h"
#include "Recognition/FakeWindowList.h"

#include <memory>

namespace lorvantine::testing {

// A desktop for recognition tests, installed while it lives: windows with a frame, a backing
// scale and a plain picture of their own colour, and the text each window shows (screen points).
// The desktop-truth recogniser reads that text back from whatever crop of a window's picture it
// is handed, as the simulated desktop does with its layout.
class OCRTestDesktop {
public:
    OCRTestDesktop();
    explicit OCRTestDesktop(DesktopTruthRecognizer::Noise noise);
    ~OCRTestDesktop();
    OCRTestDesktop(const OCRTestDesktop&) = delete;
    OCRTestDesktop& operator=(const OCRTestDesktop&) = delete;

    // Adds the window to the window list and its element's position, size and title to the
    // accessibility tree; returns the element.
    AXElement addWindow(ProcessID pid, uint32_t number, const Rect& frame, double scale = 1, const std::string& title = "");
    // The window's text: lines of words in the order the engine reports them.
    void setText(uint32_t number, std::vector<std::vector<RecognizedWord>> lines);

    void useRecognizer(std::shared_ptr<TextRecognitionPort> recognizer);

    FakeWindowAccessibility& accessibility() { return *m_accessibility; }
    FakeWindowList& windowList() { return *m_windowList; }
    FakeWindowCapture& capture() { return *m_capture; }

private:
    struct Window {
        Rect frame;
        double scale = 1;
        uint64_t pictureDigest = 0;
        std::vector<std::vector<RecognizedWord>> lines;
    };
    std::optional<std::vector<DesktopTruthRecognizer::Line>> truthFor(const Image& image) const;

    std::shared_ptr<FakeWindowAccessibility> m_accessibility = std::make_shared<FakeWindowAccessibility>();
    std::shared_ptr<FakeWindowList> m_windowList = std::make_shared<FakeWindowList>();
    std::shared_ptr<FakeWindowCapture> m_capture = std::make_shared<FakeWindowCapture>();
    std::map<uint32_t, Window> m_windows;
    PlatformServices m_services;
    PlatformServices m_previous;
};

} // namespace lorvantine::testing
