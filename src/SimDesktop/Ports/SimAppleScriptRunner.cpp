#include "SimDesktop/Ports/SimAppleScriptRunner.h"

#include "Platform/Dispatch/Clock.h"
#include "SimDesktop/Model/SimDocuments.h"
#include "SimDesktop/SimDesktop.h"

namespace lorvantine {

namespace {

using Statement = SimAppleScript::Statement;
using Condition = SimAppleScript::Condition;

SimModel::Application* runningNamed(SimModel& model, const std::string& name)
{
    for (auto& app : model.applications)
        if (app.info.localizedName == name)
            return &app;
    return nullptr;
}

// The sheet of a window: a child whose role is "AXSheet"; 0 when it shows none.
uint64_t sheetOf(SimModel& model, uint32_t windowNumber)
{
    const SimModel::Window* w = model.window(windowNumber);
    SimNode* node = w ? model.node(w->node) : nullptr;
    if (!node)
        return 0;
    for (uint64_t child : node->children)
        if (SimNode* c = model.node(child); c && c->role == "AXSheet")
            return child;
    return 0;
}

// Window 1 of a process: its front window, 0 when it has none.
uint32_t frontWindow(SimModel& model, const std::string& process)
{
    SimModel::Application* app = runningNamed(model, process);
    if (!app)
        return 0;
    auto windows = model.accessibleWindows(app->info.pid);
    return windows.empty() ? 0 : windows.front();
}

std::string notRunning(const std::string& name) { return name + " got an error: Application isn’t running."; }

} // namespace

std::optional<std::string> SimAppleScriptRunner::run(const std::string& source, std::string& error)
{
    auto statements = SimAppleScript::parse(source);
    m_desktop->withModel([&](SimModel& m) {
        m.record({ .kind = SimJournalEntry::Kind::appleScript, .name = source,
                   .result = statements ? AXError::success : AXError::failure });
    });
    if (!statements) {
        error = statements.error();
        return std::nullopt;
    }
    error.clear();
    if (runBlock(*statements, Scope {}, error) == Flow::failed)
        return std::nullopt;
    error.clear();
    return std::string();
}

SimAppleScriptRunner::Flow SimAppleScriptRunner::runBlock(const std::vector<Statement>& body, Scope scope, std::string& error)
{
    for (const Statement& statement : body) {
        const Flow flow = runStatement(statement, scope, error);
        if (flow != Flow::next)
            return flow;
    }
    return Flow::next;
}

SimAppleScriptRunner::Flow SimAppleScriptRunner::activate(const std::string& bundleID, std::string& error)
{
    enum class Found { running, installed, nothing };
    double launchDelay = 0;
    const Found found = m_desktop->withModel([&](SimModel& m) {
        for (const auto& app : m.applications)
            if (app.info.bundleIdentifier == bundleID)
                return Found::running;
        if (const SimInstalledApplication* installed = SimDocuments::installed(m, bundleID)) {
            launchDelay = installed->launchDelay;
            return Found::installed;
        }
        return Found::nothing;
    });
    if (found == Found::nothing) {
        error = "Can’t get application id \"" + bundleID + "\".";
        return Flow::failed;
    }
    // AppleScript launches an application it is told to activate; that takes its time.
    if (found == Found::installed)
        Clock::current().sleep(seconds(launchDelay));
    m_desktop->withModel([&](SimModel& m) {
        ProcessID pid = 0;
        for (const auto& app : m.applications)
            if (app.info.bundleIdentifier == bundleID)
                pid = app.info.pid;
        if (pid == 0)
            if (const SimInstalledApplication* installed = SimDocuments::installed(m, bundleID))
                pid = m_desktop->launch(m, *installed);
        const bool activated = m.setFrontmost(pid);
        m.record({ .kind = SimJournalEntry::Kind::activate, .pid = pid,
                   .result = activated ? AXError::success : AXError::failure });
    });
    return Flow::next;
}

SimAppleScriptRunner::Flow SimAppleScriptRunner::repeat(const Statement& statement, const Scope& scope, std::string& error)
{
    std::vector<uint32_t> items;
    if (statement.kind == Statement::Kind::repeatTabs) {
        auto it = scope.windows.find(statement.over);
        if (it == scope.windows.end()) {
            error = "The variable " + statement.over + " is not defined.";
            return Flow::failed;
        }
        // A tab of the simulated terminal is its window.
        items = { it->second };
    } else {
        const bool running = m_desktop->withModel([&](SimModel& m) {
            SimModel::Application* app = runningNamed(m, scope.application);
            if (app)
                items = m.accessibleWindows(app->info.pid);
            return app != nullptr;
        });
        if (!running) {
            error = notRunning(scope.application);
            return Flow::failed;
        }
    }
    for (uint32_t item : items) {
        Scope inner = scope;
        inner.windows[statement.variable] = item;
        const Flow flow = runBlock(statement.body, inner, error);
        if (flow != Flow::next)
            return flow;
    }
    return Flow::next;
}

std::optional<bool> SimAppleScriptRunner::holds(const Condition& condition, const Scope& scope, std::string& error)
{
    if (condition.kind == Condition::Kind::sheetExists) {
        const std::string process = condition.text.empty() ? scope.process : condition.text;
        return m_desktop->withModel([&](SimModel& m) { return sheetOf(m, frontWindow(m, process)) != 0; });
    }
    auto it = scope.windows.find(condition.variable);
    if (it == scope.windows.end()) {
        error = "The variable " + condition.variable + " is not defined.";
        return std::nullopt;
    }
    const uint32_t number = it->second;
    return m_desktop->withModel([&](SimModel& m) -> std::optional<bool> {
        if (condition.kind == Condition::Kind::contentsContain) {
            auto contents = SimDocuments::contents(m, number);
            return contents && contents->find(condition.text) != std::string::npos;
        }
        const SimModel::Window* w = m.window(number);
        if (!w || !w->tty) {
            error = "Can’t get tty of tab 1.";
            return std::nullopt;
        }
        return (*w->tty == condition.text) == (condition.kind == Condition::Kind::ttyIs);
    });
}

SimAppleScriptRunner::Flow SimAppleScriptRunner::runStatement(const Statement& statement, Scope& scope, std::string& error)
{
    using Kind = Statement::Kind;
    switch (statement.kind) {
    case Kind::delay:
        // The script waits where it runs, as osascript does, on the installed clock.
        Clock::current().sleep(seconds(statement.seconds));
        return Flow::next;
    case Kind::activate:
        return activate(statement.bundleID, error);
    case Kind::keyCode:
        m_desktop->withModel([&](SimModel& m) {
            // System Events types into whatever application is in front.
            for (bool down : { true, false }) {
                InputEvent event = InputEvent::keyboard(std::nullopt, static_cast<uint16_t>(statement.keyCode), down);
                event.flags = statement.flags;
                m.record({ .kind = SimJournalEntry::Kind::event, .event = event, .tap = EventTap::session });
            }
        });
        return Flow::next;
    case Kind::deleteNotes: {
        const std::string name = statement.application.empty() ? scope.application : statement.application;
        const bool running = m_desktop->withModel([&](SimModel& m) {
            SimModel::Application* app = runningNamed(m, name);
            if (!app)
                return false;
            const ProcessID pid = app->info.pid;
            for (uint32_t number : m.accessibleWindows(pid)) {
                auto contents = SimDocuments::contents(m, number);
                if (!contents || contents->find(statement.text) == std::string::npos)
                    continue;
                m.closeWindow(number);
                m.journal.add({ .kind = SimJournalEntry::Kind::reaction, .pid = pid, .name = "deleteNote",
                                .value = static_cast<int64_t>(number) });
            }
            return true;
        });
        if (!running) {
            error = notRunning(name);
            return Flow::failed;
        }
        return Flow::next;
    }
    case Kind::tellApplication: {
        Scope inner = scope;
        inner.application = statement.application;
        return runBlock(statement.body, inner, error);
    }
    case Kind::tellProcess: {
        Scope inner = scope;
        inner.process = statement.application;
        return runBlock(statement.body, inner, error);
    }
    case Kind::repeatWindows:
    case Kind::repeatTabs:
        return repeat(statement, scope, error);
    case Kind::tryBlock: {
        std::string ignored;
        const Flow flow = runBlock(statement.body, scope, ignored);
        return flow == Flow::stop ? Flow::stop : Flow::next;
    }
    case Kind::ifBlock:
        for (const Condition& condition : statement.conditions) {
            auto holdsNow = holds(condition, scope, error);
            if (!holdsNow)
                return Flow::failed;
            if (!*holdsNow)
                return Flow::next;
        }
        return runBlock(statement.body, scope, error);
    case Kind::selectTab: {
        auto it = scope.windows.find(statement.variable);
        if (it == scope.windows.end()) {
            error = "The variable " + statement.variable + " is not defined.";
            return Flow::failed;
        }
        m_desktop->withModel([&](SimModel& m) { m.raiseWindow(it->second); });
        return Flow::next;
    }
    case Kind::clickSheetButton: {
        const std::string process = statement.application.empty() ? scope.process : statement.application;
        const bool clicked = m_desktop->withModel([&](SimModel& m) {
            const uint32_t number = frontWindow(m, process);
            SimNode* sheet = m.node(sheetOf(m, number));
            if (!sheet)
                return false;
            for (uint64_t child : sheet->children) {
                SimNode* button = m.node(child);
                if (!button || button->role != "AXButton")
                    continue;
                auto title = button->attributes.find("AXTitle");
                if (title == button->attributes.end() || title->second != AXValue(statement.text))
                    continue;
                const ProcessID pid = m.window(number)->pid;
                m.closeWindow(number);
                m.journal.add({ .kind = SimJournalEntry::Kind::reaction, .pid = pid, .name = "sheetButton",
                                .value = statement.text });
                return true;
            }
            return false;
        });
        if (!clicked) {
            error = "System Events got an error: Can’t get button \"" + statement.text + "\" of sheet 1 of window 1.";
            return Flow::failed;
        }
        return Flow::next;
    }
    case Kind::returnFromScript:
        return Flow::stop;
    }
    return Flow::next;
}

} // namespace lorvantine
