#include "SimDesktop/Ports/SimProcesses.h"

#include "Platform/Dispatch/Clock.h"
#include "SimDesktop/Model/SimDocuments.h"
#include "SimDesktop/Model/SimWebPages.h"
#include "SimDesktop/Ports/SimAppleScriptRunner.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Files.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace lorvantine {

namespace {

ProcessOutcome refusedRun(std::string message) { return ProcessOutcome { 1, std::move(message) + "\n" }; }

bool isURL(const std::string& argument) { return argument.find("://") != std::string::npos; }

std::string lowercase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The installed application that opens `item` by default.
const SimInstalledApplication* defaultApplication(const SimModel& model, const std::string& item)
{
    const bool url = isURL(item);
    const std::string key = url ? lowercase(item.substr(0, item.find("://")))
                                : lowercase(std::filesystem::path(item).extension().string().substr(std::min<size_t>(
                                      1, std::filesystem::path(item).extension().string().size())));
    for (const SimInstalledApplication& app : model.installed) {
        const auto& list = url ? app.schemes : app.extensions;
        if (std::find(list.begin(), list.end(), key) != list.end())
            return &app;
    }
    return nullptr;
}

// A document's text becomes its editor's text element whole, and a client of the shared desktop
// reads that back as one value: no file larger than one message of the shared desktop is opened.
// Scripts are held to the same.
constexpr uint64_t maxHandedFileBytes = uint64_t(64) << 20;

enum class HandedFileFault { missing, unreadable };

struct HandedFileError {
    HandedFileFault fault;
    std::string message;
};

// A file handed to `open` or `osascript`, read within bounds. Only a regular file is read: a
// named pipe would hold the run (and a desktop server's stop, which waits for its runs) until
// someone writes to it, and a device may never end.
Expected<std::string, HandedFileError> readHandedFile(const std::string& path)
{
    auto text = Files::readRegularFile(path, maxHandedFileBytes);
    if (text)
        return std::move(*text);
    if (text.error().error == ENOENT || text.error().error == ENOTDIR)
        return Unexpected(HandedFileError { HandedFileFault::missing, path + " does not exist" });
    return Unexpected(HandedFileError { HandedFileFault::unreadable, std::move(text.error().message) });
}

struct Document {
    std::string title;
    std::string text;
};

} // namespace

Expected<ProcessOutcome, std::string> SimProcesses::run(const std::string& program, const std::vector<std::string>& arguments)
{
    const bool known = program == "/usr/bin/open" || program == "/usr/bin/osascript";
    m_desktop->withModel([&](SimModel& m) {
        m.record({ .kind = SimJournalEntry::Kind::process, .name = program, .value = arguments,
                   .result = known ? AXError::success : AXError::failure });
    });
    if (program == "/usr/bin/open")
        return open(arguments);
    if (program == "/usr/bin/osascript")
        return osascript(arguments);
    return Unexpected<std::string>("The file “" + program + "” doesn’t exist on the simulated desktop.");
}

ProcessOutcome SimProcesses::open(const std::vector<std::string>& arguments)
{
    std::optional<std::string> bundleID;
    std::optional<std::string> applicationName;
    std::vector<std::string> items;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-b" || argument == "-a") {
            if (i + 1 == arguments.size())
                return refusedRun("open: option requires an argument -- " + argument.substr(1));
            (argument == "-b" ? bundleID : applicationName) = arguments[++i];
        } else if (argument.starts_with("-")) {
            return refusedRun("open: invalid option -- " + argument.substr(1));
        } else {
            items.push_back(argument);
        }
    }
    if (!bundleID && !applicationName && items.empty())
        return refusedRun("Usage: open [-a <application>] [-b <bundle identifier>] [<file or URL>...]");

    std::vector<Document> documents;
    std::vector<std::string> urls;
    for (const std::string& item : items) {
        if (isURL(item)) {
            urls.push_back(item);
            continue;
        }
        auto text = readHandedFile(item);
        if (!text && text.error().fault == HandedFileFault::missing)
            return refusedRun("The file " + item + " does not exist.");
        if (!text)
            return refusedRun("The file " + item + " could not be opened: " + text.error().message + ".");
        documents.push_back({ std::filesystem::path(item).filename().string(), std::move(*text) });
    }

    // Which application: the one named, else the one that opens the first item.
    std::optional<SimInstalledApplication> installed;
    std::optional<ProcessID> running;
    std::string refusal;
    m_desktop->withModel([&](SimModel& m) {
        const SimInstalledApplication* found = nullptr;
        if (bundleID)
            found = SimDocuments::installed(m, *bundleID);
        else if (applicationName)
            found = SimDocuments::installedNamed(m, *applicationName);
        else
            found = defaultApplication(m, items.front());
        if (found)
            installed = *found;
        for (const auto& app : m.applications) {
            const bool same = bundleID ? app.info.bundleIdentifier == *bundleID
                : applicationName      ? app.info.localizedName == *applicationName || app.info.bundlePath == *applicationName
                : found && app.info.bundleIdentifier == found->application.bundleIdentifier;
            if (same)
                running = app.info.pid;
        }
        if (installed || running)
            return;
        if (bundleID)
            refusal = "Unable to find application with bundle identifier " + *bundleID;
        else if (applicationName)
            refusal = "Unable to find application named '" + *applicationName + "'";
        else
            refusal = "No application knows how to open " + items.front() + ".";
    });
    if (!refusal.empty())
        return refusedRun(refusal);

    if (!running)
        Clock::current().sleep(seconds(installed->launchDelay));
    m_desktop->withModel([&](SimModel& m) {
        ProcessID pid = running.value_or(0);
        // Another launch may have finished during the delay; one that quit meanwhile starts anew.
        if (!running && installed)
            for (const auto& app : m.applications)
                if (app.info.bundleIdentifier == installed->application.bundleIdentifier)
                    pid = app.info.pid;
        if (!m.application(pid)) {
            if (!installed)
                return;
            pid = m_desktop->launch(m, *installed);
        }
        const bool activated = m.setFrontmost(pid);
        m.record({ .kind = SimJournalEntry::Kind::activate, .pid = pid,
                   .result = activated ? AXError::success : AXError::failure });
        if (installed && (!installed->pages.empty() || installed->errorPage))
            for (const std::string& url : urls)
                SimWebPages::open(m, pid, *installed, url);
        if (!installed || !installed->document)
            return;
        for (const Document& document : documents)
            SimDocuments::open(m, pid, *installed->document, document.title, document.text);
    });
    return ProcessOutcome {};
}

ProcessOutcome SimProcesses::osascript(const std::vector<std::string>& arguments)
{
    std::string source;
    bool inline_ = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != "-e")
            break;
        if (i + 1 == arguments.size())
            return refusedRun("osascript: option requires an argument -- e");
        source += (inline_ ? "\n" : "") + arguments[++i];
        inline_ = true;
    }
    if (!inline_) {
        if (arguments.empty())
            return refusedRun("usage: osascript [-e statement | programfile] [argument ...]");
        auto text = readHandedFile(arguments.front());
        if (!text && text.error().fault == HandedFileFault::missing)
            return refusedRun("osascript: " + arguments.front() + ": No such file or directory");
        if (!text)
            return refusedRun("osascript: " + text.error().message);
        source = std::move(*text);
    }
    std::string error;
    if (!SimAppleScriptRunner(m_desktop).run(source, error))
        return refusedRun("execution error: " + error);
    return ProcessOutcome {};
}

std::optional<std::string> SimProcesses::controllingTerminal()
{
    return m_desktop->withModel([](SimModel& m) -> std::optional<std::string> {
        for (const auto& [number, window] : m.windows)
            if (window.runnersTerminal)
                return window.tty;
        return std::nullopt;
    });
}

} // namespace lorvantine
