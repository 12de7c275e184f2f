#include "Platform/Backends/InMemoryUserDefaults.h"
#include "Platform/Backends/SettingsFileStore.h"
#include "Preferences/AllocationMeter.h"
#include "Preferences/PreferencesModel.h"
#include "Support/Log.h"
#include "TestSupport/ScopedEnvironment.h"
#include "TestSupport/ScratchDirectory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <functional>
#include <thread>
#include <unistd.h>

namespace lorvantine {
namespace {

using test::ScopedEnvironment;
using test::ScratchDirectory;
using test::readFile;
using test::writeFile;
using ::testing::ElementsAre;
using ::testing::SizeIs;
using ::testing::StartsWith;
namespace fs = std::filesystem;

std::vector<std::string> namesIn(const fs::path& directory)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SettingsFileStore, ValuesSurviveIntoTheNextStoreOnTheSameFile)
{
    ScratchDirectory directory;
    fs::path path = directory / "nested/config/defaults.json";
    {
        Log::Capture log;
        SettingsFileStore first(path);
        EXPECT_EQ(first.object("Lorvantine.defaultSpeed"), std::nullopt);
        EXPECT_TRUE(namesIn(directory.path()).empty()) << "a missing file is only created by a write";
        EXPECT_THAT(log.lines(), SizeIs(0));
        first.set("Lorvantine.defaultSpeedZh", 1.75f);
        first.set("Lorvantine.highlightOpacity", 0.08f);
        first.set("Lorvantine.defaultVoice", "zm_009");
        first.set("Lorvantine.hasCompletedOnboarding", true);
        first.setObject("count", int64_t {-12});
        first.set("temporary", "gone");
        first.removeObject("temporary");
    }
    SettingsFileStore second(path);
    EXPECT_EQ(second.floatForKey("Lorvantine.defaultSpeedZh"), 1.75f);
    EXPECT_EQ(second.floatForKey("Lorvantine.highlightOpacity"), 0.08f);
    EXPECT_EQ(second.stringForKey("Lorvantine.defaultVoice"), "zm_009");
    EXPECT_TRUE(second.boolForKey("Lorvantine.hasCompletedOnboarding"));
    EXPECT_EQ(second.object("count"), UserDefaults::Value(int64_t {-12}));
    EXPECT_EQ(second.object("temporary"), std::nullopt);
}

TEST(SettingsFileStore, EveryWriteReplacesTheWholeFileAtOnce)
{
    ScratchDirectory directory;
    fs::path path = directory / "defaults.json";
    SettingsFileStore store(path);
    store.set("Lorvantine.defaultVoice", "zf_001");

    // A second name for the current file: an in-place rewrite would change what it shows.
    fs::path before = directory / "before";
    fs::create_hard_link(path, before);
    std::string earlier = readFile(before);
    store.set("Lorvantine.defaultSpeed", 2.0f);

    EXPECT_EQ(readFile(before), earlier);
    nlohmann::json saved = nlohmann::json::parse(readFile(path));
    EXPECT_EQ(saved["Lorvantine.defaultSpeed"], 2.0);
    EXPECT_EQ(saved["Lorvantine.defaultVoice"], "zf_001");
    EXPECT_THAT(namesIn(directory.path()), ElementsAre("before", "defaults.json")) << "no temporary left behind";
}

TEST(SettingsFileStore, EntriesWithoutATypedReadingAreKeptInTheFile)
{
    ScratchDirectory directory;
    fs::path path = directory / "defaults.json";
    writeFile(path, R"({"recent": ["a", "b"], "window": {"x": 1}, "Lorvantine.defaultSpeed": 2})");
    SettingsFileStore store(path);
    EXPECT_EQ(store.object("recent"), std::nullopt);
    EXPECT_EQ(store.floatForKey("Lorvantine.defaultSpeed"), 2.0f);

    store.set("Lorvantine.defaultVoice", "af_heart");
    nlohmann::json saved = nlohmann::json::parse(readFile(path));
    EXPECT_EQ(saved["recent"], nlohmann::json::array({"a", "b"}));
    EXPECT_EQ(saved["window"]["x"], 1);
}

TEST(SettingsFileStore, StringsThatAreNotUtf8AreSavedWithoutLosingTheOtherKeys)
{
    ScratchDirectory directory;
    fs::path path = directory / "defaults.json";
    SettingsFileStore store(path);
    store.set("Lorvantine.defaultVoice", "bf_emma");
    store.set("Lorvantine.ttsServerURL", std::string("http://\xff\xfe"));

    SettingsFileStore reopened(path);
    EXPECT_EQ(reopened.stringForKey("Lorvantine.defaultVoice"), "bf_emma");
    EXPECT_TRUE(reopened.stringForKey("Lorvantine.ttsServerURL").has_value());
}

std::string nested(size_t depth)
{
    return std::string(depth, '[') + std::string(depth, ']');
}

TEST(SettingsFileStore, UnusableFileIsMovedAsideWithOneWarningAndNeverOverwritten)
{
    const std::pair<const char*, std::string> cases[] = {
        {"not JSON", "\"Lorvantine.defaultSpeed\": 2.0"},
        {"no object", "[1, 2, 3]"},
        {"nothing readable", R"({"Lorvantine.defaultSpeed": 1e400})"},
        {"too large", R"({"Lorvantine.defaultSpeed": 2, "a": ")" + std::string(2 << 20, 'x') + "\"}"},
    };
    for (const auto& [name, broken] : cases) {
        SCOPED_TRACE(name);
        ScratchDirectory directory;
        fs::path path = directory / "defaults.json";
        writeFile(path, broken);

        Log::Capture log;
        SettingsFileStore store(path);
        ASSERT_THAT(log.lines(), SizeIs(1));
        EXPECT_THAT(log.lines()[0], StartsWith("[Preferences] "));
        EXPECT_EQ(store.object("Lorvantine.defaultSpeed"), std::nullopt) << "the defaults, not half a file";

        std::vector<std::string> names = namesIn(directory.path());
        ASSERT_THAT(names, SizeIs(1));
        EXPECT_THAT(names[0], StartsWith("defaults.json.corrupt-"));
        EXPECT_NE(log.lines()[0].find(names[0]), std::string::npos) << "the warning says where the file went";
        const fs::path kept = directory / names[0];
        EXPECT_EQ(readFile(kept), broken);

        store.set("Lorvantine.defaultVoice", "bf_emma");
        EXPECT_EQ(readFile(kept), broken);
        EXPECT_EQ(nlohmann::json::parse(readFile(path))["Lorvantine.defaultVoice"], "bf_emma");
        EXPECT_THAT(log.lines(), SizeIs(1));
    }
}

TEST(SettingsFileStore, DamagedFileKeepsEveryReadableSettingAndTheOriginal)
{
    const std::string server = R"("Lorvantine.ttsServerURL": "http://10.1.2.3:8880")";
    const std::string speed = R"("Lorvantine.defaultSpeedZh": 2.5)";
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> dropped;
    };
    const Case cases[] = {
        {"invalid UTF-8", "{" + server + ", \"Lorvantine.defaultVoice\": \"zf_\xff\", " + speed + "}",
         {"Lorvantine.defaultVoice"}},
        {"NaN", "{" + server + ", \"Lorvantine.highlightOpacity\": NaN, " + speed + "}", {"Lorvantine.highlightOpacity"}},
        {"comment", "{\n  // the lab's server, for now\n  " + server + ",\n  /* faster */ " + speed + "\n}", {}},
        {"trailing comma", "{" + server + ", " + speed + ",}", {}},
        {"number beyond a double", "{" + server + ", \"Lorvantine.defaultSpeed\": 1e400, " + speed + "}",
         {"Lorvantine.defaultSpeed"}},
        {"deep value of another program", "{" + server + ", \"Other.state\": " + nested(200000) + ", " + speed + "}",
         {"Other.state"}},
        {"cut short", "{" + server + ", " + speed + ", \"Lorvantine.defaultVoice\": \"zf_0", {"Lorvantine.defaultVoice"}},
        {"closing quote lost at a line's end", "{\n  \"Lorvantine.defaultVoiceEn\": \"af_bella,\n  " + server + ",\n  " + speed + "\n}",
         {"Lorvantine.defaultVoiceEn"}},
        {"closing quote lost before the last brace", "{" + server + ", " + speed + ", \"Lorvantine.defaultVoice\": \"zf_0\n}",
         {"Lorvantine.defaultVoice"}},
        {"quote lost inside a list", "{\"Other.recent\": [\"a\", \"b\n\", \"c\"],\n" + server + ", " + speed + "}", {"Other.recent"}},
        {"list without its ] before a member", "{\"Other.recent\": [\"a\", [1, 2],\n  " + server + ",\n  " + speed + "\n}",
         {"Other.recent"}},
        {"list without its ] before a comma-less member", "{\"Other.recent\": [\"a\" " + server + ", " + speed + "}",
         {"Other.recent"}},
        {"list without its ] in another program's object",
         "{\"Other.window\": {\"tabs\": [1, 2, \"x\": 3}, " + server + ", " + speed + "}", {"Other.window"}},
        {"list without its ] at the end", "{" + server + ", " + speed + ", \"Other.recent\": [\"a\", \"b\"\n}",
         {"Other.recent"}},
        {"comma missing after a member", "{\"Other.recent\": [1,2\n " + server + "\n " + speed + "}", {"Other.recent"}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        ScratchDirectory directory;
        fs::path path = directory / "defaults.json";
        writeFile(path, test.text);

        Log::Capture log;
        {
            SettingsFileStore store(path);
            EXPECT_EQ(store.stringForKey("Lorvantine.ttsServerURL"), "http://10.1.2.3:8880");
            EXPECT_EQ(store.floatForKey("Lorvantine.defaultSpeedZh"), 2.5f);
            ASSERT_THAT(log.lines(), SizeIs(1));
            for (const std::string& key : test.dropped) {
                EXPECT_EQ(store.object(key), std::nullopt);
                EXPECT_NE(log.lines()[0].find(key), std::string::npos) << "the warning names what was dropped";
            }
            store.set("Lorvantine.defaultVoiceEn", "bf_emma");
        }
        std::vector<std::string> names = namesIn(directory.path());
        ASSERT_THAT(names, SizeIs(2));
        EXPECT_EQ(names[0], "defaults.json");
        EXPECT_EQ(readFile(directory / names[1]), test.text) << "the damaged original is kept aside";

        SettingsFileStore reopened(path);
        EXPECT_EQ(reopened.stringForKey("Lorvantine.ttsServerURL"), "http://10.1.2.3:8880");
        EXPECT_EQ(reopened.floatForKey("Lorvantine.defaultSpeedZh"), 2.5f);
        EXPECT_EQ(reopened.stringForKey("Lorvantine.defaultVoiceEn"), "bf_emma");
        EXPECT_THAT(log.lines(), SizeIs(1)) << "the file written back reads cleanly";
    }
}

TEST(SettingsFileStore, WarningsAboutADamagedFileAreAsciiWhateverItsKeysAndBytes)
{
    struct Case {
        const char* name;
        std::string text;
        // How the warning names the dropped entry; empty when no entry is named.
        std::string named;
    };
    const std::string server = R"("Lorvantine.ttsServerURL": "http://10.1.2.3:8880")";
    const Case cases[] = {
        {"accented key dropped", "{" + server + ", \"R\u00e9glage.zoom\": NaN}", "\"R\\u00e9glage.zoom\""},
        {"key beyond the basic plane", "{" + server + ", \"\u2615\U0001F35E.size\": 1e400}", "\"\\u2615\\ud83c\\udf5e.size\""},
        {"key that is not UTF-8", "{" + server + ", \"R\xe9glage\": NaN}", "1 entry without a readable name"},
        {"value not UTF-8 either", "{" + server + ", \"R\u00e9glage\": \"z\xff\"}", ""},
        {"nothing readable, accents in the fault", "{\"R\u00e9glage.zoom\": \u00e9t\u00e9}", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDirectory directory;
        fs::path path = directory / "defaults.json";
        writeFile(path, c.text);

        Log::Capture log;
        SettingsFileStore store(path);
        ASSERT_THAT(log.lines(), SizeIs(1));
        const std::string warning = log.lines()[0];
        EXPECT_THAT(warning, StartsWith("[Preferences] settings file "));
        for (unsigned char byte : warning)
            ASSERT_LT(byte, 0x80u) << warning;
        EXPECT_EQ(warning.find('\n'), std::string::npos);
        if (!c.named.empty()) {
            EXPECT_NE(warning.find(c.named), std::string::npos) << warning;
        }
    }
}

TEST(SettingsFileStore, SecondCorruptFileDoesNotReplaceTheFirstKeptCopy)
{
    ScratchDirectory directory;
    fs::path path = directory / "defaults.json";
    Log::Capture log;
    writeFile(path, "[1, 2, 3]");
    SettingsFileStore first(path);
    writeFile(path, "true");
    SettingsFileStore second(path);

    std::vector<std::string> names = namesIn(directory.path());
    ASSERT_THAT(names, SizeIs(2));
    std::vector<std::string> contents {readFile(directory / names[0]), readFile(directory / names[1])};
    std::sort(contents.begin(), contents.end());
    EXPECT_THAT(contents, ElementsAre("[1, 2, 3]", "true"));
    EXPECT_THAT(log.lines(), SizeIs(2));
}

TEST(SettingsFileStore, EmptyOrBlankFileHoldsNoSettingsAndIsNotSetAside)
{
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"blank lines", "\n \t\r\n  \n"},
        {"byte order mark alone", "\xEF\xBB\xBF\n"},
    };
    for (const auto& [name, blank] : cases) {
        SCOPED_TRACE(name);
        ScratchDirectory directory;
        fs::path path = directory / "defaults.json";
        writeFile(path, blank);

        Log::Capture log;
        SettingsFileStore store(path);
        EXPECT_EQ(store.object("Lorvantine.defaultSpeed"), std::nullopt);
        EXPECT_EQ(readFile(path), blank) << "only a write replaces it";
        store.set("Lorvantine.defaultVoice", "bf_emma");

        EXPECT_THAT(log.lines(), SizeIs(0));
        EXPECT_THAT(namesIn(directory.path()), ElementsAre("defaults.json"));
        EXPECT_EQ(SettingsFileStore(path).stringForKey("Lorvantine.defaultVoice"), "bf_emma");
    }
}

// Another program's lists 500 deep: 1 KB each as written, half a megabyte each when indented.
TEST(SettingsFileStore, RewriteBuildsNoMoreTextThanTheFileMayHold)
{
    ScratchDirectory directory;
    fs::path path = directory / "defaults.json";
    std::string text = R"({"Lorvantine.defaultVoice": "zf_001")";
    for (int member = 0; member < 100; ++member)
        text.append(", \"Other.state").append(std::to_string(member)).append("\": ").append(500, '[').append("1").append(500, ']');
    text += "}";
    writeFile(path, text);
    SettingsFileStore store(path);

    size_t peak = 0;
    {
        test::AllocationMeter meter;
        store.set("Lorvantine.defaultSpeed", 2.0f);
        peak = meter.peakBytes();
    }
    EXPECT_LT(peak, 3 * SettingsFileStore::maxFileBytes);

    SettingsFileStore reopened(path);
    EXPECT_EQ(reopened.floatForKey("Lorvantine.defaultSpeed"), 2.0f);
    EXPECT_EQ(reopened.stringForKey("Lorvantine.defaultVoice"), "zf_001");
    nlohmann::json saved = nlohmann::json::parse(readFile(path));
    EXPECT_EQ(saved.size(), 102u);
    EXPECT_EQ(saved["Other.state99"], nlohmann::json::parse(nested(500).insert(500, "1"))) << "written without indenting";
}

// A value the file has no room for is refused: it would otherwise be kept for the run and hold
// every later change back from the file. The key keeps what it had, and the next changes save.
TEST(SettingsFileStore, AValueTooLargeForTheFileIsRefusedAndTheNextChangesAreSaved)
{
    ScratchDirectory directory;
    fs::path path = directory / "defaults.json";
    Log::Capture log;
    SettingsFileStore store(path);
    store.set("Lorvantine.ttsServerURL", "http://127.0.0.1:8880");
    store.set("Lorvantine.ttsServerURL", "http://" + std::string(SettingsFileStore::maxFileBytes + 10, 'a'));
    store.set("Lorvantine.defaultVoice", std::string(SettingsFileStore::maxFileBytes * 2, 'b'));
    EXPECT_TRUE(store.stringForKey("Lorvantine.ttsServerURL") == "http://127.0.0.1:8880") << "the key keeps its value";
    EXPECT_FALSE(store.object("Lorvantine.defaultVoice").has_value());
    const auto warnings = log.linesContaining("[Preferences]");
    ASSERT_THAT(warnings, SizeIs(2));
    EXPECT_THAT(warnings[0], StartsWith(R"([Preferences] setting "Lorvantine.ttsServerURL" not saved)"));

    store.set("Lorvantine.defaultSpeed", 2.0f);
    SettingsFileStore reopened(path);
    EXPECT_EQ(reopened.floatForKey("Lorvantine.defaultSpeed"), 2.0f);
    EXPECT_EQ(reopened.stringForKey("Lorvantine.ttsServerURL"), "http://127.0.0.1:8880");
}

TEST(SettingsFileStore, DirectoryAtThePathIsLeftAloneAndWritesStayInMemory)
{
    ScratchDirectory directory;
    fs::path path = directory / "defaults.json";
    fs::create_directory(path);
    writeFile(path / "inside", "mine");

    Log::Capture log;
    SettingsFileStore store(path);
    EXPECT_THAT(log.lines(), SizeIs(1));
    store.set("Lorvantine.defaultSpeed", 2.0f);
    EXPECT_EQ(store.floatForKey("Lorvantine.defaultSpeed"), 2.0f);
    EXPECT_EQ(readFile(path / "inside"), "mine");
    EXPECT_THAT(namesIn(directory.path()), ElementsAre("defaults.json"));
}

TEST(SettingsFileStore, LinkedFileIsWrittenThroughTheLinkAndStaysALink)
{
    ScratchDirectory directory;
    fs::create_directories(directory / "dotfiles");
    fs::create_directories(directory / "config");
    fs::path target = directory / "dotfiles/defaults.json";
    writeFile(target, R"({"Lorvantine.defaultVoice": "zf_001"})");
    fs::create_symlink("defaults.json", directory / "dotfiles/current.json");
    fs::path path = directory / "config/defaults.json";
    fs::create_symlink("../dotfiles/current.json", path);

    SettingsFileStore store(path);
    store.set("Lorvantine.defaultSpeed", 2.0f);

    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_TRUE(fs::is_symlink(directory / "dotfiles/current.json"));
    nlohmann::json saved = nlohmann::json::parse(readFile(target));
    EXPECT_EQ(saved["Lorvantine.defaultSpeed"], 2.0);
    EXPECT_EQ(saved["Lorvantine.defaultVoice"], "zf_001");
    EXPECT_THAT(namesIn(directory / "config"), ElementsAre("defaults.json"));
    EXPECT_THAT(namesIn(directory / "dotfiles"), ElementsAre("current.json", "defaults.json"));
}

TEST(SettingsFileStore, DamagedLinkedFileIsSetAsideBesideItsTarget)
{
    ScratchDirectory directory;
    fs::create_directories(directory / "dotfiles");
    fs::path target = directory / "dotfiles/defaults.json";
    writeFile(target, "garbage");
    fs::path path = directory / "defaults.json";
    fs::create_symlink(target, path);

    Log::Capture log;
    SettingsFileStore store(path);
    store.set("Lorvantine.defaultSpeed", 2.0f);

    EXPECT_TRUE(fs::is_symlink(path));
    std::vector<std::string> names = namesIn(directory / "dotfiles");
    ASSERT_THAT(names, SizeIs(2));
    EXPECT_EQ(readFile(directory / "dotfiles" / names[1]), "garbage");
    EXPECT_EQ(nlohmann::json::parse(readFile(target))["Lorvantine.defaultSpeed"], 2.0);
}

// Tests may run as root, where permission bits stop no read or write; what matters is that the
// store leaves such a file exactly as it found it.
TEST(SettingsFileStore, FileItMayNotWriteOrCannotReadIsLeftInPlaceAndChangesStayInMemory)
{
    const std::string original = R"({"Lorvantine.defaultVoice": "zf_001"})";
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> make;
    };
    const Case cases[] = {
        {"read-only", [&](const fs::path& path) {
             writeFile(path, original);
             fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
         }},
        {"no permissions", [&](const fs::path& path) {
             writeFile(path, original);
             fs::permissions(path, fs::perms::none);
         }},
        {"loop of links", [](const fs::path& path) {
             fs::create_symlink("other.json", path);
             fs::create_symlink(path.filename(), path.parent_path() / "other.json");
         }},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        ScratchDirectory directory;
        fs::path path = directory / "defaults.json";
        test.make(path);
        std::vector<std::string> before = namesIn(directory.path());
        const bool isFile = fs::is_regular_file(fs::symlink_status(path));

        Log::Capture log;
        SettingsFileStore store(path);
        store.set("Lorvantine.defaultSpeed", 2.0f);
        store.set("Lorvantine.defaultVoiceEn", "bf_emma");

        EXPECT_EQ(store.floatForKey("Lorvantine.defaultSpeed"), 2.0f);
        EXPECT_EQ(store.stringForKey("Lorvantine.defaultVoiceEn"), "bf_emma");
        EXPECT_THAT(log.linesContaining("[Preferences]"), SizeIs(1));
        EXPECT_EQ(namesIn(directory.path()), before);
        if (isFile) {
            fs::permissions(path, fs::perms::owner_read, fs::perm_options::add);
            EXPECT_EQ(readFile(path), original);
        } else {
            EXPECT_TRUE(fs::is_symlink(path));
        }
    }
}

TEST(SettingsFileStore, FailedWriteWarnsOnceKeepsTheValueAndTheNextWriteSavesEverything)
{
    ScratchDirectory directory;
    fs::path blocker = directory / "config";
    writeFile(blocker, "a file where a directory should be");
    fs::path path = blocker / "defaults.json";

    Log::Capture log;
    SettingsFileStore store(path);
    store.set("Lorvantine.defaultVoice", "bf_emma");
    store.set("Lorvantine.defaultSpeed", 2.5f);
    EXPECT_EQ(store.floatForKey("Lorvantine.defaultSpeed"), 2.5f);
    ASSERT_THAT(log.linesContaining("[Preferences]"), SizeIs(1));
    EXPECT_NE(log.lines().back().find("config"), std::string::npos);

    fs::remove(blocker);
    store.set("Lorvantine.defaultSpeed", 2.0f);
    SettingsFileStore reopened(path);
    EXPECT_EQ(reopened.stringForKey("Lorvantine.defaultVoice"), "bf_emma");
    EXPECT_EQ(reopened.floatForKey("Lorvantine.defaultSpeed"), 2.0f);
}

TEST(SettingsFileStore, ConcurrentWritersLeaveAValidFileWithEveryKey)
{
    ScratchDirectory directory;
    fs::path path = directory / "defaults.json";
    SettingsFileStore store(path);
    std::vector<std::thread> writers;
    for (int writer = 0; writer < 4; ++writer) {
        writers.emplace_back([&store, writer] {
            for (int i = 0; i < 10; ++i)
                store.set("key." + std::to_string(writer) + "." + std::to_string(i), static_cast<double>(i));
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    EXPECT_EQ(nlohmann::json::parse(readFile(path)).size(), 40u);
}

TEST(SettingsFileStore, StandardPathFollowsTheEnvironment)
{
    ScopedEnvironment noOverride("LORVANTINE_DEFAULTS", std::nullopt);
    {
        ScopedEnvironment config("XDG_CONFIG_HOME", "/x/config");
        EXPECT_EQ(SettingsFileStore::standardPath(), fs::path("/x/config/lorvantine/defaults.json"));
    }
    {
        ScopedEnvironment config("XDG_CONFIG_HOME", "relative");
        ScopedEnvironment home("HOME", "/home/reader");
        EXPECT_EQ(SettingsFileStore::standardPath(), fs::path("/home/reader/.config/lorvantine/defaults.json"));
    }
    {
        ScopedEnvironment config("XDG_CONFIG_HOME", std::nullopt);
        ScopedEnvironment home("HOME", std::nullopt);
        EXPECT_EQ(SettingsFileStore::standardPath(), std::nullopt);
        Log::Capture log;
        auto store = SettingsFileStore::openStandard();
        EXPECT_NE(dynamic_cast<InMemoryUserDefaults*>(store.get()), nullptr);
        EXPECT_THAT(log.linesContaining("[Preferences]"), SizeIs(1));
    }
    {
        ScopedEnvironment config("XDG_CONFIG_HOME", "/x/config");
        ScopedEnvironment explicitFile("LORVANTINE_DEFAULTS", "/elsewhere/settings.json");
        EXPECT_EQ(SettingsFileStore::standardPath(), fs::path("/elsewhere/settings.json"));
    }
}

TEST(SettingsFileStore, ModelOpensTheFileNamedByTheEnvironmentOnFirstUse)
{
    ScratchDirectory directory;
    fs::path path = directory / "chosen.json";
    writeFile(path, R"({"Lorvantine.defaultVoiceEn": "bf_emma"})");
    ScopedEnvironment explicitFile("LORVANTINE_DEFAULTS", path.string());
    PreferencesModel::ScopedDefaults fresh(nullptr);

    EXPECT_EQ(PreferencesModel::voice(PreferencesModel::Key::defaultVoiceEn), "bf_emma");
    PreferencesModel::recordSpeedChange(2.0f, true);

    SettingsFileStore reopened(path);
    EXPECT_EQ(reopened.floatForKey(PreferencesModel::Key::defaultSpeedZh), 2.0f);
    EXPECT_EQ(reopened.stringForKey(PreferencesModel::Key::defaultVoiceEn), "bf_emma");
}

} // namespace
} // namespace lorvantine
