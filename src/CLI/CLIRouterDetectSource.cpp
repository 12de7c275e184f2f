#include "CLI/CLIRouter.h"

#include "Accessibility/AXReader.h"
#include "Accessibility/AXValueDescription.h"
#include "CLI/DiagnosticFormat.h"
#include "Documents/DocumentSourceRegistry.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Services.h"
#include "Platform/WorkspacePort.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>

namespace lorvantine::CLIRouter {

namespace {

// The session's class name without its namespace ("KindleSession").
std::string sessionTypeName(const DocumentSession& session)
{
    const char* mangled = typeid(session).name();
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
    std::string name = status == 0 && demangled ? demangled.get() : mangled;
    const size_t colons = name.rfind("::");
    return colons == std::string::npos ? name : name.substr(colons + 2);
}

void printReportLine(const std::string& line) { std::printf("%s\n", line.c_str()); }

} // namespace

int routeDetectSource(const Arguments& args)
{
    auto bundleID = value(args, "--app");
    if (!bundleID) {
        Log::line("用法: --detect-source --app <bundleID>");
        return 1;
    }
    auto app = AXReader::findApp(*bundleID);
    if (!app) {
        Log::line("❌ 找不到运行中的 " + *bundleID + "（请先打开该 App 并载入文档）");
        return 1;
    }
    Platform::workspace().activate(app->pid, WorkspacePort::ActivationOptions::none);
    Clock::current().sleep(seconds(0.8));
    Log::line("🎯 detecting " + *bundleID + " pid=" + std::to_string(app->pid));

    const TimePoint started = Clock::current().now();
    std::shared_ptr<DocumentSession> session = DocumentSourceRegistry::detect(*bundleID);
    const long long elapsed = DiagnosticFormat::millisecondsSince(started);
    if (!session) {
        std::vector<std::string> names;
        for (const DocumentSource& source : DocumentSourceRegistry::sources())
            names.push_back(source.name);
        Log::line("❌ DocumentSourceRegistry.detect(" + *bundleID + ") 返回 nil — 该 App 未命中任何 Source");
        Log::line("   候选来源：" + Text::joined(names, ", "));
        return 1;
    }

    const std::vector<ReadableParagraph> paragraphs = session->paragraphs();
    printReportLine("✅ detect 命中: " + sessionTypeName(*session) + "  耗时 " + std::to_string(elapsed) + "ms");
    printReportLine("   title: " + session->title());
    printReportLine("   paragraphs: " + std::to_string(paragraphs.size()));
    for (size_t i = 0; i < std::min<size_t>(paragraphs.size(), 3); ++i)
        printReportLine("   [" + std::to_string(paragraphs[i].index) + "] " + DiagnosticFormat::quotedPrefix(paragraphs[i].text, 60)
                        + "  frame=" + AXValueDescription::describe(paragraphs[i].frame));
    if (paragraphs.size() >= 4)
        printReportLine("   ...（共 " + std::to_string(paragraphs.size()) + " 段）");
    return 0;
}

} // namespace lorvantine::CLIRouter
