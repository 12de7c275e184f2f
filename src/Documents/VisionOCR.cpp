#include "Documents/VisionOCR.h"

#include "Accessibility/AXReader.h"
#include "Documents/ColumnGutter.h"
#include "Documents/PageWords.h"
#include "Documents/TableCells.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Image.h"
#include "Platform/Services.h"
#include "Platform/TextRecognitionPort.h"
#include "Platform/WindowCapturePort.h"
#include "Platform/WindowServerPort.h"
#include "Support/Files.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <unistd.h>

namespace lorvantine::VisionOCR {

namespace {

// The pixels that were read and the screen rectangle they show.
struct CapturedContent {
    Image image;
    Rect screenRect;
};

const std::vector<std::string>& defaultLanguages()
{
    static const std::vector<std::string> languages{"en", "zh-Hans", "zh-Hant"};
    return languages;
}

std::string whole(double value) { return std::to_string(static_cast<long long>(value)); }

// Captures run concurrently (page turn, highlighting, selection), so each gets its own file.
class CaptureFile {
public:
    explicit CaptureFile(std::string path) : m_path(std::move(path)) {}
    ~CaptureFile() { ::unlink(m_path.c_str()); }
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

bool sameFrame(const Rect& a, const Rect& b)
{
    return std::fabs(a.minX() - b.minX()) < 0.5 && std::fabs(a.minY() - b.minY()) < 0.5
        && std::fabs(a.width() - b.width()) < 0.5 && std::fabs(a.height() - b.height()) < 0.5;
}

// The window whose bounds are the element's frame; failing that, as the window list has always
// been searched, the first window of the process whose size is within 5 points (two same-size
// windows of one application are told apart only by the first rule).
std::optional<uint32_t> matchWindow(const std::vector<WindowInfo>& windows, ProcessID pid, const Rect& frame)
{
    for (const WindowInfo& window : windows) {
        if (window.kCGWindowOwnerPID == pid && window.kCGWindowBounds && window.kCGWindowNumber
            && *window.kCGWindowNumber != 0 && sameFrame(*window.kCGWindowBounds, frame))
            return window.kCGWindowNumber;
    }
    for (const WindowInfo& window : windows) {
        if (!window.kCGWindowOwnerPID || !window.kCGWindowBounds || !window.kCGWindowNumber)
            continue;
        if (*window.kCGWindowOwnerPID != pid)
            continue;
        if (std::fabs(window.kCGWindowBounds->size.width - frame.size.width) < 5.0
            && std::fabs(window.kCGWindowBounds->size.height - frame.size.height) < 5.0)
            return window.kCGWindowNumber;
    }
    return std::nullopt;
}

std::optional<CapturedContent> captureWindow(const std::optional<AXElement>& windowElement, const Rect& contentRect)
{
    if (!windowElement) {
        Log::line("[VisionOCR] ❌ 未提供 windowElement");
        return std::nullopt;
    }
    ProcessID pid = 0;
    bool hasPid = Platform::accessibility().pid(*windowElement, pid) == AXError::success && pid >= 1;
    std::optional<Point> position = hasPid ? AXReader::position(*windowElement) : std::nullopt;
    std::optional<Size> size = position ? AXReader::size(*windowElement) : std::nullopt;
    // A window without area cannot be scaled to its picture.
    if (!size || !(size->width > 0) || !(size->height > 0)) {
        Log::line("[VisionOCR] ❌ 无法获取窗口信息");
        return std::nullopt;
    }

    std::optional<std::vector<WindowInfo>> windows = Platform::windowServer().copyWindowInfo(WindowListOption::optionAll);
    if (!windows)
        return std::nullopt;
    std::optional<uint32_t> number = matchWindow(*windows, pid, Rect(*position, *size));
    if (!number || *number == 0) {
        Log::line("[VisionOCR] ❌ 找不到窗口 (pid=" + std::to_string(pid) + ")");
        return std::nullopt;
    }

    Expected<std::string, FileError> path = Files::makePrivateTemporaryFile("lorvantine-capture-", ".png");
    if (!path) {
        Log::line("[VisionOCR] ❌ 无法创建截图文件: " + path.error().message);
        return std::nullopt;
    }
    CaptureFile file(*path);
    Expected<int, CaptureLaunchError> status = Platform::windowCapture().captureWindow(*number, file.path());
    if (!status)
        return std::nullopt;
    if (*status != 0) {
        Log::line("[VisionOCR] screencapture 退出码: " + std::to_string(*status));
        return std::nullopt;
    }
    Expected<Image, ImageError> picture = Image::loadPNG(file.path());
    if (!picture) {
        Log::line("[VisionOCR] ❌ 无法加载截图");
        return std::nullopt;
    }

    double scaleX = picture->width / size->width;
    double scaleY = picture->height / size->height;
    Rect wanted(scaleX * (contentRect.minX() - position->x), scaleY * (contentRect.minY() - position->y),
                scaleX * contentRect.width(), scaleY * contentRect.height());
    std::optional<PixelRect> area = picture->cropArea(wanted);
    if (!area) {
        Log::line("[VisionOCR] ❌ 内容区域不在窗口截图内");
        return std::nullopt;
    }
    // Words are placed in the rectangle that was actually read, which is less than the content
    // rectangle where the window's edge clips it.
    Rect read(position->x + area->x / scaleX, position->y + area->y / scaleY, area->width / scaleX, area->height / scaleY);
    return CapturedContent{picture->cropped(*area), read};
}

std::optional<std::vector<RecognizedWord>> runOCR(const Image& image, const Rect& contentRect,
                                              const std::vector<std::string>& languages)
{
    TextRecognitionRequest request{RecognitionLevel::accurate, languages, LanguageCorrection::on};
    if (contentRect.width() > 0)
        request.pixelsPerPoint = image.width / contentRect.width();
    Expected<std::vector<TextObservation>, ErrorValue> observations = Platform::textRecognizer().recognize(image, request);
    if (!observations) {
        Log::line("[VisionOCR] OCR 执行失败: " + observations.error().description);
        return std::nullopt;
    }
    if (observations->empty()) {
        Log::line("[VisionOCR] 未识别到文字");
        return std::nullopt;
    }

    std::vector<RecognizedWord> words;
    for (const TextObservation& observation : *observations) {
        if (!observation.topCandidate)
            continue;
        const RecognizedText& candidate = *observation.topCandidate;
        size_t offset = 0;
        std::optional<size_t> tokenStart;
        auto endToken = [&](size_t end) {
            if (!tokenStart)
                return;
            size_t begin = *tokenStart;
            tokenStart.reset();
            std::optional<Rect> box = candidate.boundingBox(begin, end);
            if (!box)
                return;
            words.push_back({candidate.string.substr(begin, end - begin),
                             Rect(contentRect.minX() + box->minX() * contentRect.width(),
                                  contentRect.minY() + (1 - box->maxY()) * contentRect.height(),
                                  box->width() * contentRect.width(), box->height() * contentRect.height())});
        };
        for (const std::string& character : Text::characters(candidate.string)) {
            if (Text::isWhitespaceCharacter(character))
                endToken(offset);
            else if (!tokenStart)
                tokenStart = offset;
            offset += character.size();
        }
        endToken(offset);
    }
    if (words.empty())
        return std::nullopt;
    return words;
}

std::vector<RecognizedWord> sortByLines(const std::vector<RecognizedWord>& words)
{
    std::vector<RecognizedWord> out;
    for (const std::vector<RecognizedWord>& line : PageWords::linesTopToBottom(words))
        out.insert(out.end(), line.begin(), line.end());
    return out;
}

// A table is read row by row, each row's cells left to right, and the lines above and below it
// in their places.
std::vector<RecognizedWord> tableByRows(const std::vector<std::vector<RecognizedWord>>& lines, const ColumnGutter& table)
{
    std::vector<RecognizedWord> out;
    for (size_t i = 0; i < table.firstLine; ++i)
        out.insert(out.end(), lines[i].begin(), lines[i].end());
    const std::vector<RecognizedWord> cells
        = TableCells::readingOrder(std::span(lines).subspan(table.firstLine, table.endLine - table.firstLine));
    out.insert(out.end(), cells.begin(), cells.end());
    for (size_t i = table.endLine; i < lines.size(); ++i)
        out.insert(out.end(), lines[i].begin(), lines[i].end());
    return out;
}

// Two columns are read one after the other, each line by line, and the lines across the page
// above and below them (a headline, a byline, a footer) in their places before and after them;
// a table is read row by row, each row left to right, however the engine took its columns; any
// other page keeps the engine's order. The columns must part at a real gutter: a ragged single
// column narrower than the picture shows wide gaps between word centres too.
std::vector<RecognizedWord> sortIntoReadingOrder(const std::vector<RecognizedWord>& words, const Rect& contentRect)
{
    if (PageWords::wordCount(words) < 21)
        return words;

    const std::vector<std::vector<RecognizedWord>> lines = PageWords::linesTopToBottom(words);
    std::vector<std::vector<Rect>> lineBoxes;
    for (const std::vector<RecognizedWord>& line : lines) {
        lineBoxes.emplace_back();
        for (const RecognizedWord& word : line)
            lineBoxes.back().push_back(word.screenRect);
    }
    std::optional<ColumnGutter> gutter = ColumnGutter::find(lineBoxes);
    if (!gutter)
        return words;
    if (gutter->betweenTableColumns)
        return tableByRows(lines, *gutter);
    double split = gutter->middle();
    double ratio = (split - contentRect.minX()) / contentRect.width();
    if (!(ratio > 0.3 && ratio < 0.7))
        return words;

    std::vector<RecognizedWord> above, left, right, below;
    double lastLeftCentre = -std::numeric_limits<double>::infinity();
    double firstRightCentre = std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i < gutter->firstLine || i >= gutter->endLine) {
            std::vector<RecognizedWord>& across = i < gutter->firstLine ? above : below;
            across.insert(across.end(), lines[i].begin(), lines[i].end());
            continue;
        }
        for (const RecognizedWord& word : lines[i]) {
            double centre = word.screenRect.midX();
            if (centre < split) {
                left.push_back(word);
                lastLeftCentre = std::fmax(lastLeftCentre, centre);
            } else {
                right.push_back(word);
                firstRightCentre = std::fmin(firstRightCentre, centre);
            }
        }
    }
    const size_t onLeft = PageWords::wordCount(left), onRight = PageWords::wordCount(right), beside = onLeft + onRight;
    if (!(onLeft > beside / 7 && onRight > beside / 7))
        return words;

    Log::line("[VisionOCR] 双栏检测: gap=" + whole(firstRightCentre - lastLeftCentre) + "pt at x=" + whole(split)
              + ", left=" + std::to_string(left.size()) + " right=" + std::to_string(right.size()));
    std::vector<RecognizedWord> out = std::move(above);
    for (const std::vector<RecognizedWord>* column : {&left, &right}) {
        std::vector<RecognizedWord> columnLines = sortByLines(*column);
        out.insert(out.end(), columnLines.begin(), columnLines.end());
    }
    out.insert(out.end(), below.begin(), below.end());
    return out;
}

} // namespace

std::optional<std::vector<RecognizedWord>> recognizeWords(const Rect& contentRect,
                                                          const std::optional<AXElement>& windowElement,
                                                          const std::optional<std::vector<std::string>>& languages)
{
    TimePoint start = Clock::current().now();
    std::optional<CapturedContent> captured = captureWindow(windowElement, contentRect);
    if (!captured) {
        Log::line("[VisionOCR] 截屏失败");
        return std::nullopt;
    }
    std::optional<std::vector<RecognizedWord>> raw = runOCR(captured->image, captured->screenRect,
                                                        languages.value_or(defaultLanguages()));
    if (!raw)
        return std::nullopt;

    std::vector<RecognizedWord> ordered = sortIntoReadingOrder(*raw, captured->screenRect);
    double elapsed = toSeconds(Clock::current().now() - start) * 1000;
    Log::line("[VisionOCR] recognizeWords: " + std::to_string(ordered.size()) + " words in " + whole(elapsed) + "ms");

    return ordered;
}

std::optional<Image> capturePicture(const Rect& contentRect, const std::optional<AXElement>& windowElement)
{
    std::optional<CapturedContent> captured = captureWindow(windowElement, contentRect);
    if (!captured)
        return std::nullopt;
    return std::move(captured->image);
}

std::vector<Rect> lookupRects(const std::vector<OCRWordEntry>& words, int charLower, int charUpper)
{
    if (words.empty())
        return {};

    std::vector<Rect> touched;
    for (const OCRWordEntry& word : words) {
        if (word.charEnd > charLower && word.charStart < charUpper)
            touched.push_back(word.screenRect);
    }
    if (touched.empty()) {
        int middle = (charLower + charUpper) / 2;
        const OCRWordEntry* nearest = &words.front();
        int best = std::abs((nearest->charStart + nearest->charEnd) / 2 - middle);
        for (const OCRWordEntry& word : words) {
            int distance = std::abs((word.charStart + word.charEnd) / 2 - middle);
            if (distance < best) {
                best = distance;
                nearest = &word;
            }
        }
        return {nearest->screenRect};
    }

    std::stable_sort(touched.begin(), touched.end(), [](const Rect& a, const Rect& b) { return a.minY() < b.minY(); });
    std::vector<Rect> lines;
    Rect line = touched.front();
    for (size_t i = 1; i < touched.size(); ++i) {
        const Rect& rect = touched[i];
        if (std::fabs(rect.midY() - line.midY()) < 0.6 * line.height()) {
            double x0 = std::fmin(line.minX(), rect.minX()), y0 = std::fmin(line.minY(), rect.minY());
            double x1 = std::fmax(line.maxX(), rect.maxX()), y1 = std::fmax(line.maxY(), rect.maxY());
            line = Rect(x0, y0, x1 - x0, y1 - y0);
        } else {
            lines.push_back(line);
            line = rect;
        }
    }
    lines.push_back(line);
    return lines;
}

} // namespace lorvantine::VisionOCR
