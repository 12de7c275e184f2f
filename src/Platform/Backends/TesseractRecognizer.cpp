#include "Platform/Backends/TesseractRecognizer.h"

#include "Platform/Backends/GrayImage.h"
#include "Platform/Backends/LineInk.h"
#include "Platform/Backends/RecognizedLineBuilder.h"
#include "Platform/Backends/TextSizeProbe.h"
#include "Support/Text.h"

#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <dlfcn.h>
#include <limits>

namespace lorvantine {

namespace {

constexpr const char* errorDomain = "TesseractRecognizer";

// Tesseract spreads parts of its network over OpenMP teams that spin while they wait for one
// another; on a busy machine that makes a 100 ms recognition take seconds. The program already
// recognises on several threads of its own, so every recognising thread keeps Tesseract's
// parallel regions to itself (they become inactive, run by one thread).
void runOnThisThreadOnly()
{
    using SetMaxActiveLevels = void (*)(int);
    static const auto setMaxActiveLevels
        = reinterpret_cast<SetMaxActiveLevels>(::dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
    if (setMaxActiveLevels)
        setMaxActiveLevels(0);
}

std::string takeText(char* text)
{
    std::string out = text ? text : "";
    delete[] text;
    return out;
}

using PixelBox = LineInk::Box;

PixelBox unionOf(const PixelBox& a, const PixelBox& b)
{
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

// One character of a word as Tesseract read it.
struct Symbol {
    std::string text;
    PixelBox box;
};

// A word as Tesseract read it; `characters` gets a box per Character for full-width text.
struct Piece {
    std::string text;
    PixelBox box;
    std::vector<PixelBox> characters;
    std::vector<Symbol> symbols;
    // Across a blank wider than a character from the piece before it: the engine ran the line on
    // over a gutter or between a table's cells.
    bool apart = false;
};

struct ReadLine {
    PixelBox box;
    std::vector<Piece> pieces;
    double confidence = 0; // 0...1
};

std::vector<ReadLine> readLines(tesseract::TessBaseAPI& api)
{
    std::vector<ReadLine> lines;
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it || it->Empty(tesseract::RIL_WORD))
        return lines;
    double confidenceSum = 0;
    do {
        if (lines.empty() || it->IsAtBeginningOf(tesseract::RIL_TEXTLINE)) {
            if (!lines.empty() && !lines.back().pieces.empty())
                lines.back().confidence = confidenceSum / static_cast<double>(lines.back().pieces.size()) / 100;
            confidenceSum = 0;
            ReadLine line;
            it->BoundingBox(tesseract::RIL_TEXTLINE, &line.box.left, &line.box.top, &line.box.right, &line.box.bottom);
            lines.push_back(std::move(line));
        }
        Piece piece;
        piece.text = Text::trimmingWhitespacesAndNewlines(takeText(it->GetUTF8Text(tesseract::RIL_WORD)));
        if (piece.text.empty()
            || !it->BoundingBox(tesseract::RIL_WORD, &piece.box.left, &piece.box.top, &piece.box.right, &piece.box.bottom))
            continue;
        confidenceSum += it->Confidence(tesseract::RIL_WORD);
        tesseract::ResultIterator symbol(*it);
        do {
            Symbol read{takeText(symbol.GetUTF8Text(tesseract::RIL_SYMBOL)), {}};
            if (symbol.BoundingBox(tesseract::RIL_SYMBOL, &read.box.left, &read.box.top, &read.box.right, &read.box.bottom))
                piece.symbols.push_back(std::move(read));
        } while (symbol.Next(tesseract::RIL_SYMBOL) && !symbol.IsAtBeginningOf(tesseract::RIL_WORD));
        lines.back().pieces.push_back(std::move(piece));
    } while (it->Next(tesseract::RIL_WORD));
    if (!lines.back().pieces.empty())
        lines.back().confidence = confidenceSum / static_cast<double>(lines.back().pieces.size()) / 100;
    return lines;
}

// Chinese or Japanese, with the punctuation that goes with it (Tesseract often reads a full-width
// comma or stop as an ASCII one).
bool isFullWidth(const std::string& text)
{
    bool ideographic = false;
    for (char32_t c : Text::scalars(text)) {
        if (RecognizedLineBuilder::isUnspacedScript(c))
            ideographic = true;
        else if (!RecognizedLineBuilder::isAsciiPunctuation(c))
            return false;
    }
    return ideographic;
}

template<typename Pieces, typename Box>
int medianHeight(const Pieces& pieces, Box boxOf)
{
    std::vector<int> heights;
    for (const auto& piece : pieces)
        heights.push_back(boxOf(piece).bottom - boxOf(piece).top);
    if (heights.empty())
        return 0;
    std::nth_element(heights.begin(), heights.begin() + static_cast<long>(heights.size() / 2), heights.end());
    return heights[heights.size() / 2];
}

int medianHeight(const std::vector<Piece*>& run)
{
    return medianHeight(run, [](const Piece* piece) { return piece->box; });
}

// The columns without ink around `x`, as [first, end), looked for no farther than `reach` either way.
std::pair<int, int> blankAround(const LineInk& ink, int x, int reach)
{
    int first = x, end = x;
    while (first > x - reach && !ink.columnHasInk(first - 1))
        --first;
    while (end < x + reach && !ink.columnHasInk(end))
        ++end;
    return {first, end};
}

// A word Tesseract read over a blank wider than a character (a line it ran on over a gutter) is
// parted there into the words on either side, by where its characters stand; what it read in the
// blank, where the picture shows no ink, is left out.
void partAtBlanks(const LineInk& ink, Piece piece, int widestSpace, std::vector<Piece>& out)
{
    std::optional<std::pair<int, int>> blank = ink.widestGap(piece.box.left, piece.box.right);
    if (!blank || blank->second - blank->first <= widestSpace || piece.symbols.size() < 2) {
        out.push_back(std::move(piece));
        return;
    }
    Piece sides[2];
    for (const Symbol& symbol : piece.symbols) {
        if (!ink.inkIn(symbol.box.left, symbol.box.right))
            continue;
        Piece& side = sides[symbol.box.left + symbol.box.right < blank->first + blank->second ? 0 : 1];
        side.box = side.symbols.empty() ? symbol.box : unionOf(side.box, symbol.box);
        side.text += symbol.text;
        side.symbols.push_back(symbol);
    }
    if (sides[0].symbols.empty() || sides[1].symbols.empty()) {
        out.push_back(std::move(piece));
        return;
    }
    sides[0].apart = piece.apart;
    sides[1].apart = true;
    out.push_back(std::move(sides[0]));
    partAtBlanks(ink, std::move(sides[1]), widestSpace, out);
}

// The words of a line as they stand on the picture: each read over a gutter parted, and each read
// from a blank wider than a character (a mark seen in a gutter) left out.
void partOverBlanks(const LineInk& ink, ReadLine& line)
{
    const int height = medianHeight(line.pieces, [](const Piece& piece) { return piece.box; });
    const int widestSpace = static_cast<int>(RecognizedLineBuilder::apartInCharacterHeights * height);
    std::vector<Piece> parted;
    for (Piece& piece : line.pieces) {
        const int middle = (piece.box.left + piece.box.right) / 2;
        if (!ink.inkIn(piece.box.left, piece.box.right)) {
            const auto [first, end] = blankAround(ink, middle, widestSpace + 1);
            if (end - first > widestSpace)
                continue;
        }
        if (isFullWidth(piece.text))
            parted.push_back(std::move(piece));
        else
            partAtBlanks(ink, std::move(piece), widestSpace, parted);
    }
    line.pieces = std::move(parted);
}

// A line that the engine boxed much taller than its characters (it ran a line on over a gutter
// to the other column's line a little higher or lower) holds ink of the lines above and below,
// which would widen the grid: the characters are placed within their own rows.
constexpr double tallLineInCharacterHeights = 1.4;

// Full-width characters stand on one regular grid only within a stretch of text. A run that the
// engine read over a wider blank (a left and a right column's lines taken for one line, a table
// row's cells) is parted there, by where its pieces stand, and each side placed apart.
void placeFullWidthRun(const GrayImage& gray, const PixelBox& lineBox, const LineInk& ink, const std::vector<Piece*>& run)
{
    if (run.empty())
        return;
    PixelBox extent = run.front()->box;
    size_t count = 0;
    for (Piece* piece : run) {
        extent = unionOf(extent, piece->box);
        count += Text::characterCount(piece->text);
    }
    std::optional<std::pair<int, int>> blank = run.size() > 1 ? ink.widestGap(extent.left, extent.right) : std::nullopt;
    if (blank && blank->second - blank->first > RecognizedLineBuilder::apartInCharacterHeights * medianHeight(run)) {
        const int middle = (blank->first + blank->second) / 2;
        auto right = std::find_if(run.begin(), run.end(),
                                  [&](const Piece* piece) { return piece->box.left + piece->box.right >= 2 * middle; });
        if (right != run.begin() && right != run.end()) {
            (*right)->apart = true;
            placeFullWidthRun(gray, lineBox, ink, std::vector<Piece*>(run.begin(), right));
            placeFullWidthRun(gray, lineBox, ink, std::vector<Piece*>(right, run.end()));
            return;
        }
    }
    std::vector<int> middles;
    for (const Piece* piece : run)
        middles.push_back((piece->box.top + piece->box.bottom) / 2);
    const auto middle = middles.begin() + static_cast<long>(middles.size() / 2);
    std::nth_element(middles.begin(), middle, middles.end());
    std::optional<std::pair<int, int>> rows = ink.inkedRowsAround(*middle, extent.left, extent.right);
    std::optional<LineInk> ownRows;
    if (rows && lineBox.bottom - lineBox.top > tallLineInCharacterHeights * (rows->second - rows->first))
        ownRows.emplace(gray, PixelBox{lineBox.left, rows->first, lineBox.right, rows->second});
    std::vector<PixelBox> boxes = (ownRows ? *ownRows : ink).placeFullWidth(extent.left, extent.right, count);
    if (boxes.size() != count)
        return;
    size_t next = 0;
    for (Piece* piece : run) {
        piece->characters.assign(boxes.begin() + static_cast<long>(next),
                                 boxes.begin() + static_cast<long>(next + Text::characterCount(piece->text)));
        next += piece->characters.size();
        piece->box = piece->characters.front();
        for (const PixelBox& box : piece->characters)
            piece->box = unionOf(piece->box, box);
    }
}

// Tesseract's character boxes cannot be used for Chinese (its network's character positions are
// matched to ink blobs that often straddle two characters, and its word boxes drift with them),
// and it leaves a final stop out of a word's box. Both are placed again from the line's ink. Boxes
// read from a reduced picture are coarse, so every word is fitted to its ink in the full one.
void placeOnInk(const GrayImage& gray, ReadLine& line, int reduction)
{
    LineInk ink(gray, line.box);
    partOverBlanks(ink, line);
    std::vector<Piece*> run;
    auto placeRun = [&] {
        placeFullWidthRun(gray, line.box, ink, run);
        run.clear();
    };
    for (size_t i = 0; i < line.pieces.size(); ++i) {
        Piece& piece = line.pieces[i];
        if (isFullWidth(piece.text)) {
            run.push_back(&piece);
            continue;
        }
        placeRun();
        if (reduction > 1) {
            // Read at reduced size, a word's box may reach over the next word's ink: the two are
            // parted at the widest blank between them, the space.
            Piece* next = i + 1 < line.pieces.size() ? &line.pieces[i + 1] : nullptr;
            if (next && next->box.left < piece.box.right && !isFullWidth(next->text)) {
                if (auto gap = ink.widestGap(piece.box.left, next->box.right)) {
                    piece.box.right = gap->first;
                    next->box.left = gap->second;
                }
            }
            if (std::optional<PixelBox> fitted = ink.inkIn(piece.box.left, piece.box.right))
                piece.box = *fitted;
        }
        std::u32string scalars = Text::scalars(piece.text);
        if (RecognizedLineBuilder::isAsciiPunctuation(scalars.back()))
            piece.box = ink.widenedOverNearbyInk(piece.box, LineInk::Side::trailing);
        if (RecognizedLineBuilder::isAsciiPunctuation(scalars.front()))
            piece.box = ink.widenedOverNearbyInk(piece.box, LineInk::Side::leading);
    }
    placeRun();
}

// Tesseract sizes what it looks for (noise, lines, characters) from the resolution. A screen
// point is 1/72 inch, so a 2x capture read at full size is 144 dpi; told 72, the engine takes
// its text for twice its size and loses stretches of ordinary Chinese. Left to estimate it from
// the text instead, it guesses well on some pages and far off on others (12 and 13 pt Chinese).
int sourceResolution(double pixelsPerPoint, int reduction)
{
    // Tesseract doubts anything outside 70...2400 dpi, and at 70 it estimates after all.
    constexpr double lowest = 72, highest = 2400;
    const double perPoint = std::isfinite(pixelsPerPoint) && pixelsPerPoint > 0 ? pixelsPerPoint : 1;
    return static_cast<int>(std::lround(std::clamp(72 * perPoint / reduction, lowest, highest)));
}

int readingReduction(const GrayImage& gray, TesseractRecognizer::Resolution resolution)
{
    switch (resolution) {
    case TesseractRecognizer::Resolution::full:
        return 1;
    case TesseractRecognizer::Resolution::halved:
        return 2;
    case TesseractRecognizer::Resolution::chosenFromText:
        break;
    }
    return TextSizeProbe::readableAtHalfSize(gray) ? 2 : 1;
}

// Boxes read from a reduced picture, back in the pixels of the full one. Ink at a box's edge may
// have been too light to count once averaged, so each box grows by a pixel; placeOnInk fits the
// words back to their ink.
PixelBox enlarged(const PixelBox& box, int factor, const GrayImage& full)
{
    const int pad = factor - 1;
    return {std::max(0, box.left * factor - pad), std::max(0, box.top * factor - pad),
            std::min(full.width, box.right * factor + pad), std::min(full.height, box.bottom * factor + pad)};
}

void enlarge(ReadLine& line, int factor, const GrayImage& full)
{
    line.box = enlarged(line.box, factor, full);
    for (Piece& piece : line.pieces) {
        piece.box = enlarged(piece.box, factor, full);
        for (Symbol& symbol : piece.symbols)
            symbol.box = enlarged(symbol.box, factor, full);
    }
}

} // namespace

struct TesseractRecognizer::Engine {
    std::mutex mutex; // one picture at a time: TessBaseAPI is not thread-safe
    std::unique_ptr<tesseract::TessBaseAPI> api;
    std::optional<ErrorValue> startFailure;
};

TesseractRecognizer::TesseractRecognizer(std::string dataPath, Resolution resolution)
    : m_dataPath(std::move(dataPath))
    , m_resolution(resolution)
{
}

TesseractRecognizer::~TesseractRecognizer() = default;

std::optional<std::string> TesseractRecognizer::tesseractLanguages(const std::vector<std::string>& codes)
{
    static const std::map<std::string, std::string> models{{"en", "eng"}, {"zh-Hans", "chi_sim"}, {"zh-Hant", "chi_tra"}};
    std::vector<std::string> names;
    bool hasChinese = false;
    for (const std::string& code : codes.empty() ? std::vector<std::string>{"en"} : codes) {
        auto model = models.find(code);
        if (model == models.end())
            return std::nullopt;
        bool chinese = model->second != "eng";
        if (std::find(names.begin(), names.end(), model->second) != names.end() || (chinese && hasChinese))
            continue;
        hasChinese = hasChinese || chinese;
        names.push_back(model->second);
    }
    return Text::joined(names, "+");
}

std::shared_ptr<TesseractRecognizer::Engine> TesseractRecognizer::engineFor(const std::string& languages,
                                                                            LanguageCorrection correction)
{
    std::string key = languages + (correction == LanguageCorrection::on ? "" : "|plain");
    std::lock_guard lock(m_mutex);
    std::shared_ptr<Engine>& engine = m_engines[key];
    if (!engine)
        engine = std::make_shared<Engine>();
    return engine;
}

Expected<std::vector<TextObservation>, ErrorValue> TesseractRecognizer::recognize(const Image& image,
                                                                                const TextRecognitionRequest& request)
{
    if (image.isEmpty() || image.pixels.size() < static_cast<size_t>(image.stride) * image.height
        || image.stride < image.width * 4)
        return Unexpected(ErrorValue{errorDomain, 1, "The image has no pixels."});
    std::optional<std::string> languages = tesseractLanguages(request.recognitionLanguages);
    if (!languages) {
        return Unexpected(ErrorValue{errorDomain, 2,
                                     "Unsupported recognition language in \""
                                         + Text::joined(request.recognitionLanguages, ", ") + "\"."});
    }

    GrayImage gray = GrayImage::from(image);
    const int reduction = readingReduction(gray, m_resolution);
    std::optional<GrayImage> reduced;
    if (reduction > 1)
        reduced = gray.halved();
    const GrayImage& read = reduced ? *reduced : gray;
    std::vector<ReadLine> lines;
    {
        std::shared_ptr<Engine> engine = engineFor(*languages, request.usesLanguageCorrection);
        std::lock_guard lock(engine->mutex);
        if (engine->startFailure)
            return Unexpected(*engine->startFailure);
        if (!engine->api) {
            auto api = std::make_unique<tesseract::TessBaseAPI>();
            // Tesseract's own complaints (missing models, resolution guesses) stay off our standard error.
            api->SetVariable("debug_file", "/dev/null");
            std::vector<std::string> names, values;
            if (request.usesLanguageCorrection == LanguageCorrection::off) {
                names = {"load_system_dawg", "load_freq_dawg"};
                values = {"0", "0"};
            }
            const char* dataPath = m_dataPath.empty() ? nullptr : m_dataPath.c_str();
            if (api->Init(dataPath, languages->c_str(), tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values, false) != 0) {
                engine->startFailure
                    = ErrorValue{errorDomain, 3, "Tesseract could not start with the languages \"" + *languages + "\"."};
                return Unexpected(*engine->startFailure);
            }
            api->SetPageSegMode(tesseract::PSM_AUTO);
            engine->api = std::move(api);
        }
        tesseract::TessBaseAPI& api = *engine->api;
        runOnThisThreadOnly();
        api.SetImage(read.pixels.data(), read.width, read.height, 1, read.width);
        api.SetSourceResolution(sourceResolution(request.pixelsPerPoint, reduction));
        int status = api.Recognize(nullptr);
        if (status == 0)
            lines = readLines(api);
        api.Clear();
        if (status != 0)
            return Unexpected(ErrorValue{errorDomain, 4, "Tesseract could not read the image."});
    }

    // Pixel boxes to normalised boxes with the origin at the bottom left.
    const double w = gray.width, h = gray.height;
    auto normalised = [&](const PixelBox& box) {
        return Rect(box.left / w, 1 - box.bottom / h, (box.right - box.left) / w, (box.bottom - box.top) / h);
    };
    std::vector<TextObservation> observations;
    for (ReadLine& line : lines) {
        if (reduction > 1)
            enlarge(line, reduction, gray);
        placeOnInk(gray, line, reduction);
        RecognizedLineBuilder builder;
        std::optional<PixelBox> lineBox;
        for (const Piece& piece : line.pieces) {
            std::vector<Rect> characterBoxes;
            for (const PixelBox& character : piece.characters)
                characterBoxes.push_back(normalised(character));
            builder.append(piece.text, normalised(piece.box), characterBoxes, piece.apart);
            lineBox = lineBox ? unionOf(*lineBox, piece.box) : piece.box;
        }
        if (!builder.isEmpty())
            observations.push_back({normalised(*lineBox), builder.build(line.confidence)});
    }
    return observations;
}

} // namespace lorvantine
