// Text recognition of window captures of the simulated desktop, side by side with the `tesseract`
// program on the same PNG (a child process with the same languages, one thread: the baseline):
// time and accuracy per page, the program's start-up and model loading measured apart on a blank
// picture. Our backend reads as it does in the program: engine kept, resolution chosen from the
// text's size. Accuracy is against what the desktop drew.
//
//   bench_recognition [runs]     the pages, medians of `runs` interleaved runs (default 5)
//   bench_recognition --sweep    accuracy at full and half resolution by font size
#include "Platform/Backends/GrayImage.h"
#include "Platform/Backends/TesseractRecognizer.h"
#include "Platform/Backends/TextSizeProbe.h"
#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Rendering/SimRenderer.h"
#include "Support/Text.h"

#include "BenchDesktops.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace lorvantine::bench {
namespace {

using Line = DesktopTruthRecognizer::Line;

const std::vector<std::string> english{"en"};
const std::vector<std::string> chineseFirst{"zh-Hans", "zh-Hant", "en"};
const std::vector<std::string> defaultLanguages{"en", "zh-Hans", "zh-Hant"};

struct Page {
    std::string name;
    Image image;
    double scale = 1; // pixels per point
    std::vector<Line> truth; // pixels of `image`
    std::vector<std::string> languages;
};

// The part `content` (window points) of the window's capture, with the lines drawn in it.
Page capturePage(const std::string& name, SimDesktop& desktop, uint32_t window, const Rect& content,
                 std::vector<std::string> languages, std::optional<double> scale = {})
{
    std::optional<SimRenderer::Picture> picture = SimRenderer::renderWindow(desktop, window, scale);
    if (!picture) {
        std::fprintf(stderr, "cannot render window %u of %s\n", window, name.c_str());
        std::exit(1);
    }
    const double s = picture->scale;
    PixelRect area = *picture->image.cropArea(Rect(content.minX() * s, content.minY() * s, content.width() * s, content.height() * s));
    Page page{name, picture->image.cropped(area), s, {}, std::move(languages)};
    for (const Line& line : picture->lines) {
        Line inside;
        for (const auto& word : line.words) {
            Rect box(word.box.minX() - area.x, word.box.minY() - area.y, word.box.width(), word.box.height());
            if (box.midX() >= 0 && box.midY() >= 0 && box.midX() < area.width && box.midY() < area.height)
                inside.words.push_back({word.text, box});
        }
        if (!inside.words.empty())
            page.truth.push_back(std::move(inside));
    }
    return page;
}

std::shared_ptr<SimDesktop> loadFixture(const std::string& file)
{
    std::string error;
    auto desktop = SimDesktop::load(std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/" + file, error);
    if (!desktop) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(1);
    }
    return desktop;
}

// One window showing `text` as a picture, in `family` at `size` points.
std::shared_ptr<SimDesktop> textWindow(const std::string& text, const std::string& family, double size)
{
    SimElement body("AXGroup");
    body.text = text;
    body.font.family = family;
    body.font.size = size;
    body.imageOnly = true;
    body.frame(Rect(40, 30, 620, 0));
    body.height.reset();
    SimWindow window;
    window.number = 1;
    window.title = "Page";
    window.frame = Rect(100, 40, 700, 520);
    window.children.push_back(std::move(body));
    return bench::oneWindowDesktop(std::move(window), "com.example.Pages");
}

// Three texts of each script, for pages made up here.
const std::vector<std::string> englishTexts{
    "Most of us read more words in a day than our grandparents read in a week, yet we remember fewer of them. "
    "Research on attention suggests that skimming trains the eye to move, not the mind to stay. Stop at the end of "
    "a page and say what it was about; keep the phone in another room for the first twenty minutes. The cafe down "
    "the street keeps a shelf of second-hand books, and its regulars say that a question asked slowly is worth more "
    "than a clever one asked fast. Numbers such as 1984 or 42 come back as they were written.",
    "Reading aloud helps people who would rather listen than look at a screen. When an application shows its text "
    "only as pixels, the program photographs the window and recognises every word with its box, so that the "
    "highlight can follow the voice from line to line. Paragraphs are found from the gaps between lines.",
    "The quick brown fox jumps over the lazy dog while the committee debates whether 17 apples or 23 oranges make a "
    "better lunch. Meanwhile, Dr. Okafor's lecture on thermodynamics (scheduled for 9:45 a.m.) was moved to room B-12.",
};

const std::vector<std::string> chineseTexts{
    "慢读并不是读得少，而是给每一句话留出被理解的时间。当我们把注意力放回文字本身，阅读就重新变成了一种对话："
    "作者提出问题，读者在停顿里回答。很多人以为读得快就是读得好。可是我们一天读过的字，比祖辈一周读的还多，"
    "记住的却更少。文字识别需要把图片中的汉字准确地读出来，并且给出每个字在屏幕上的位置。每天花一点时间读书，"
    "这样可以增长知识，开阔眼界。",
    "我们使用电脑阅读的时间越来越长，眼睛也越来越累。有人建议每隔二十分钟就抬头看看远处，让眼睛休息一会儿。"
    "朗读可以帮助我们集中注意力，因为声音把文字变成了节奏，读错的地方也更容易被发现。图书馆里安静的角落，"
    "常常是一座城市里最好的去处。",
    "春天来了，公园里的花都开了。孩子们在草地上奔跑，老人们坐在长椅上晒太阳。河边的柳树长出了新的叶子，"
    "风一吹就轻轻地摇动。我喜欢在这样的早晨散步，带着一本小书，走累了就找个地方坐下来读几页。",
};

Page textPage(const std::string& name, bool chinese, double size)
{
    auto desktop = textWindow(chinese ? chineseTexts[0] : englishTexts[0], chinese ? "WenQuanYi Zen Hei" : "DejaVu Sans", size);
    return capturePage(name, *desktop, 1, Rect(0, 28, 700, 492), chinese ? chineseFirst : english, 2);
}

// Content areas as the document sources cut them: below the toolbar, left of the scroll bar.
std::vector<Page> pages()
{
    std::vector<Page> out;
    out.push_back(capturePage("demo (en+zh, 18 pt)", *SimDesktop::demo(), 8101, Rect(0, 52, 1085, 768), defaultLanguages));
    out.push_back(capturePage("safari-article (en)", *loadFixture("safari-article.json"), 9201, Rect(0, 52, 1085, 808),
                              english));
    out.push_back(capturePage("wechat-article (zh)", *loadFixture("wechat-article.json"), 9102, Rect(0, 44, 745, 796),
                              chineseFirst));
    out.push_back(capturePage("lark-doc (en+zh)", *loadFixture("lark-doc.json"), 9301, Rect(72, 48, 1168, 832),
                              chineseFirst));
    out.push_back(capturePage("short-article (en, 1x)", *loadFixture("e2e-short-article.json"), 8101,
                              Rect(0, 52, 985, 648), defaultLanguages));
    out.push_back(capturePage("chinese-article (zh, 1x)", *loadFixture("e2e-chinese-article.json"), 8101,
                              Rect(0, 52, 985, 648), chineseFirst));
    out.push_back(textPage("english 12 pt", false, 12));
    out.push_back(textPage("english 16 pt", false, 16));
    out.push_back(textPage("chinese 12 pt", true, 12));
    out.push_back(textPage("chinese 13 pt", true, 13));
    out.push_back(textPage("chinese 20 pt", true, 20));
    return out;
}

// --- Accuracy -------------------------------------------------------------------------------

// A recognised word (or Character of Chinese) in pixels of the page.
struct Piece {
    std::string text;
    Rect box;
};

std::vector<Piece> piecesOf(const std::vector<TextObservation>& observations, const Image& image)
{
    std::vector<Piece> pieces;
    const double w = image.width, h = image.height;
    for (const TextObservation& observation : observations) {
        const RecognizedText& text = *observation.topCandidate;
        for (const RecognizedText::Segment& segment : text.segments) {
            const Rect& b = segment.box;
            pieces.push_back({text.string.substr(segment.begin, segment.end - segment.begin),
                              Rect(b.minX() * w, (1 - b.maxY()) * h, b.width() * w, b.height() * h)});
        }
    }
    return pieces;
}

std::vector<std::string> nonSpaceCharacters(const std::string& text)
{
    std::vector<std::string> out;
    for (std::string& c : Text::characters(text)) {
        if (!Text::isWhitespaceCharacter(c))
            out.push_back(std::move(c));
    }
    return out;
}

size_t editDistance(const std::vector<std::string>& a, const std::vector<std::string>& b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

struct Accuracy {
    size_t characters = 0; // of the truth
    size_t errors = 0;     // edits, including pieces found on no true line
    size_t words = 0;      // true words of Latin script
    size_t wordsExact = 0;
    double characterRate() const { return characters ? 1 - static_cast<double>(errors) / static_cast<double>(characters) : 0; }
    double wordRate() const { return words ? static_cast<double>(wordsExact) / static_cast<double>(words) : 1; }
};

bool latin(const std::string& word)
{
    for (char32_t c : Text::scalars(word)) {
        if (c >= 0x2E80)
            return false;
    }
    return true;
}

// Each piece goes to the true line whose box holds its centre; a line's pieces, in the order read,
// are compared with the line's text Character by Character (white space left out).
Accuracy accuracyOf(const Page& page, const std::vector<Piece>& pieces)
{
    Accuracy a;
    std::vector<std::vector<const Piece*>> onLine(page.truth.size());
    for (const Piece& piece : pieces) {
        const Point centre{piece.box.midX(), piece.box.midY()};
        bool placed = false;
        for (size_t i = 0; i < page.truth.size() && !placed; ++i) {
            Rect box = page.truth[i].words.front().box;
            for (const auto& word : page.truth[i].words)
                box = box.united(word.box);
            if (box.contains(centre)) {
                onLine[i].push_back(&piece);
                placed = true;
            }
        }
        if (!placed)
            a.errors += nonSpaceCharacters(piece.text).size();
    }
    for (size_t i = 0; i < page.truth.size(); ++i) {
        std::string truth, read;
        for (const auto& word : page.truth[i].words)
            truth += word.text;
        for (const Piece* piece : onLine[i])
            read += piece->text;
        std::vector<std::string> expected = nonSpaceCharacters(truth);
        a.characters += expected.size();
        a.errors += editDistance(expected, nonSpaceCharacters(read));
        for (const auto& word : page.truth[i].words) {
            if (!latin(word.text))
                continue;
            ++a.words;
            for (const Piece* piece : onLine[i]) {
                if (word.box.contains({piece->box.midX(), piece->box.midY()}) && piece->text == word.text) {
                    ++a.wordsExact;
                    break;
                }
            }
        }
    }
    return a;
}

// --- Timing ---------------------------------------------------------------------------------

using Seconds = std::chrono::duration<double>;

// Wall time and processor time (of the recognising thread, or of the whole child process), in
// milliseconds. On a shared machine the processor time is the steadier of the two.
struct Timing {
    double wall = 0;
    double cpu = 0;
};

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Samples {
    std::vector<double> wall, cpu;
    void add(const Timing& t)
    {
        wall.push_back(t.wall);
        cpu.push_back(t.cpu);
    }
    Timing median() const { return {bench::median(wall), bench::median(cpu)}; }
};

double threadCPU()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

double millisecondsSince(std::chrono::steady_clock::time_point start)
{
    return Seconds(std::chrono::steady_clock::now() - start).count() * 1e3;
}

// The `tesseract` program on `png`, its words with their boxes (its TSV form) written to `output`.
Timing runProgram(const std::string& png, const std::string& languages, const std::string& output)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> arguments{"tesseract", png, "-", "-l", languages, "tsv"};
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    // One thread, as our backend reads: Tesseract's OpenMP teams spin while they wait, which on
    // a busy machine makes the program's time depend on everything else that runs.
    std::vector<std::string> variables{"OMP_THREAD_LIMIT=1"};
    for (char** variable = environ; *variable; ++variable) {
        if (std::string_view(*variable).substr(0, 17) != "OMP_THREAD_LIMIT=")
            variables.emplace_back(*variable);
    }
    std::vector<char*> envp;
    for (std::string& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "tesseract", &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        std::fprintf(stderr, "cannot start the tesseract program (scripts/setup installs it)\n");
        std::exit(1);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    Timing t;
    t.wall = millisecondsSince(start);
    t.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-3;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the tesseract program failed on %s\n", png.c_str());
        std::exit(1);
    }
    return t;
}

// The words of the program's TSV output (rows of level 5: left, top, width, height, text).
std::vector<Piece> programPieces(const std::string& tsv)
{
    std::vector<Piece> pieces;
    std::ifstream in(tsv);
    std::string row;
    while (std::getline(in, row)) {
        std::vector<std::string> fields;
        std::stringstream cells(row);
        for (std::string cell; std::getline(cells, cell, '\t');)
            fields.push_back(cell);
        if (fields.size() < 12 || fields[0] != "5" || Text::trimmingWhitespacesAndNewlines(fields[11]).empty())
            continue;
        pieces.push_back({fields[11], Rect(std::atof(fields[6].c_str()), std::atof(fields[7].c_str()),
                                           std::atof(fields[8].c_str()), std::atof(fields[9].c_str()))});
    }
    return pieces;
}

std::vector<TextObservation> recognise(TesseractRecognizer& recognizer, const Page& page, Timing* timing = nullptr)
{
    TextRecognitionRequest request{RecognitionLevel::accurate, page.languages, LanguageCorrection::on};
    request.pixelsPerPoint = page.scale;
    const auto start = std::chrono::steady_clock::now();
    const double cpu = threadCPU();
    auto result = recognizer.recognize(page.image, request);
    if (timing)
        *timing = {millisecondsSince(start), threadCPU() - cpu};
    if (!result) {
        std::fprintf(stderr, "%s: %s\n", page.name.c_str(), result.error().description.c_str());
        std::exit(1);
    }
    return *result;
}

// --- Runs -----------------------------------------------------------------------------------

std::string scratchFolder()
{
    char folder[] = "/tmp/lorvantine-bench-recognition-XXXXXX";
    if (!::mkdtemp(folder)) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    return folder;
}

void comparePages(int runs)
{
    TesseractRecognizer ours;
    const std::string folder = scratchFolder();
    // What the program spends before it reads anything: starting and loading its models.
    const std::string blank = folder + "/blank.png";
    const std::string png = folder + "/page.png";
    const std::string tsv = folder + "/page.tsv";
    if (!Image::filled(8, 8, 0xFFFFFFFF).savePNG(blank)) {
        std::fprintf(stderr, "cannot write %s\n", blank.c_str());
        std::exit(1);
    }

    std::printf("Medians of %d interleaved runs, milliseconds (wall / processor). program: the tesseract program\n"
                "(one thread) on the same picture; start: of that, starting and loading its models (a blank\n"
                "picture); read: the rest. ours: our backend, engine already started, at the resolution it chooses\n"
                "(at). Ratios are ours / program in processor time, against its reading alone and its whole run.\n"
                "Accuracy of each against what the desktop drew: Characters of the lines (chr) and Latin words (wd).\n\n",
                runs);
    std::printf("%-24s %9s %3s | %11s %5s %5s | %11s | %5s %5s | %5s %5s | %5s %5s\n", "page", "pixels", "at", "program",
                "start", "read", "ours", "/read", "/all", "chr-p", "chr-o", "wd-p", "wd-o");
    for (const Page& page : pages()) {
        if (!page.image.savePNG(png)) {
            std::fprintf(stderr, "cannot write %s\n", png.c_str());
            std::exit(1);
        }
        const std::string languages = *TesseractRecognizer::tesseractLanguages(page.languages);
        // The first reading starts the engine; the first run of the program fills the file cache.
        const std::vector<TextObservation> read = recognise(ours, page);
        runProgram(png, languages, tsv);
        const std::vector<Piece> programRead = programPieces(tsv);
        Samples program, start, mine;
        for (int i = 0; i < runs; ++i) {
            // Each in turn goes first, so that neither always meets a machine the other warmed.
            Timing t;
            if (i % 2 == 0) {
                program.add(runProgram(png, languages, "/dev/null"));
                start.add(runProgram(blank, languages, "/dev/null"));
                recognise(ours, page, &t);
                mine.add(t);
            } else {
                recognise(ours, page, &t);
                mine.add(t);
                start.add(runProgram(blank, languages, "/dev/null"));
                program.add(runProgram(png, languages, "/dev/null"));
            }
        }
        const bool halved = TextSizeProbe::readableAtHalfSize(GrayImage::from(page.image));
        const Accuracy pa = accuracyOf(page, programRead), oa = accuracyOf(page, piecesOf(read, page.image));
        const Timing p = program.median(), s = start.median(), o = mine.median();
        const double reading = p.cpu - s.cpu;
        char programTimes[32], ourTimes[32], pixels[32];
        std::snprintf(programTimes, sizeof programTimes, "%5.0f/%-5.0f", p.wall, p.cpu);
        std::snprintf(ourTimes, sizeof ourTimes, "%5.0f/%-5.0f", o.wall, o.cpu);
        std::snprintf(pixels, sizeof pixels, "%dx%d", page.image.width, page.image.height);
        std::printf("%-24s %9s %3s | %11s %5.0f %5.0f | %11s | %5.2f %5.2f | %5.3f %5.3f | %5.3f %5.3f\n", page.name.c_str(),
                    pixels, halved ? "1/2" : "1", programTimes, s.cpu, reading, ourTimes, o.cpu / reading, o.cpu / p.cpu,
                    pa.characterRate(), oa.characterRate(), pa.wordRate(), oa.wordRate());
        std::fflush(stdout);
    }
    ::unlink(png.c_str());
    ::unlink(tsv.c_str());
    ::unlink(blank.c_str());
    ::rmdir(folder.c_str());
}

// The same prose at each size in a 2× capture, three texts per script: mean Character accuracy
// at full and half resolution, and what the backend chooses.
void sweep()
{
    TesseractRecognizer full({}, TesseractRecognizer::Resolution::full);
    TesseractRecognizer halved({}, TesseractRecognizer::Resolution::halved);
    std::printf("Mean Character accuracy (lowest of the three in brackets) of a 2x capture by font size.\n\n");
    std::printf("%-8s | %-15s %-15s %-6s | %-15s %-15s %-6s\n", "size", "english full", "english half", "chosen",
                "chinese full", "chinese half", "chosen");
    for (double size : {9.0, 10.0, 11.0, 12.0, 13.0, 14.0, 15.0, 16.0, 17.0, 18.0, 20.0, 24.0}) {
        std::printf("%5.0f pt |", size);
        for (int chinese = 0; chinese < 2; ++chinese) {
            double sums[2] = {0, 0}, lowest[2] = {1, 1};
            int halvedCount = 0;
            const std::vector<std::string>& texts = chinese ? chineseTexts : englishTexts;
            for (const std::string& text : texts) {
                Page page = capturePage("sweep", *textWindow(text, chinese ? "WenQuanYi Zen Hei" : "DejaVu Sans", size), 1,
                                        Rect(0, 28, 700, 492), chinese ? chineseFirst : english, 2);
                const double rates[2] = {accuracyOf(page, piecesOf(recognise(full, page), page.image)).characterRate(),
                                         accuracyOf(page, piecesOf(recognise(halved, page), page.image)).characterRate()};
                for (int k = 0; k < 2; ++k) {
                    sums[k] += rates[k];
                    lowest[k] = std::min(lowest[k], rates[k]);
                }
                halvedCount += TextSizeProbe::readableAtHalfSize(GrayImage::from(page.image)) ? 1 : 0;
            }
            const double n = static_cast<double>(texts.size());
            std::printf(" %5.3f (%5.3f)   %5.3f (%5.3f)   %-6s |", sums[0] / n, lowest[0], sums[1] / n, lowest[1],
                        halvedCount == 0 ? "1" : halvedCount == static_cast<int>(texts.size()) ? "1/2" : "mixed");
        }
        std::printf("\n");
        std::fflush(stdout);
    }
}

} // namespace
} // namespace lorvantine::bench

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--sweep") {
        lorvantine::bench::sweep();
        return 0;
    }
    lorvantine::bench::comparePages(argc > 1 ? std::max(1, std::atoi(argv[1])) : 5);
    return 0;
}
