#include "CLI/CLIRouter.h"

#include "Accessibility/ArticleParser.h"
#include "CLI/SafariTabs.h"
#include "CLI/SkippedLines.h"
#include "CLI/UrlList.h"
#include "Platform/Dispatch/Clock.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <cstdio>

namespace lorvantine::CLIRouter {

namespace {

constexpr double kValidationLoadWait = 3.0;
constexpr double kValidationCloseWait = 0.5;
constexpr size_t kValidParagraphs = 2;

} // namespace

int routeValidateUrls(const Arguments& args)
{
    auto path = value(args, "--validate-urls");
    if (!path) {
        Log::line("用法: --validate-urls <manifest.txt>");
        return 1;
    }
    SkippedLines notUtf8("不是 UTF-8");
    auto list = UrlList::readSkippingLinesNotUtf8(*path, notUtf8);
    if (!list) {
        Log::line("❌ 无法读取文件: " + *path);
        Log::line("   " + list.error());
        return 1;
    }
    const std::vector<std::string>& urls = *list;
    notUtf8.print();
    Log::line("🔍 验证 " + std::to_string(urls.size()) + " 个 URL...");

    std::vector<std::string> valid, invalid;
    for (size_t i = 0; i < urls.size(); ++i) {
        const std::string& url = urls[i];
        // The line is written whole once the page has been looked at.
        std::string line = "[" + std::to_string(i + 1) + "/" + std::to_string(urls.size()) + "] " + Text::characterPrefix(url, 80)
            + "...";
        // Without a tab of its own the front tab is the user's: judge nothing by it, close nothing.
        if (!SafariTabs::open(url)) {
            Log::line(line + " ❌ 无法提取");
            invalid.push_back(url);
            continue;
        }
        Clock::current().sleep(seconds(kValidationLoadWait));
        auto article = ArticleParser::captureArticle(std::string("com.apple.Safari"));
        if (article && article->paragraphs.size() >= kValidParagraphs) {
            Log::line(line + " ✅ " + std::to_string(article->paragraphs.size()) + " 段");
            valid.push_back(url);
        } else {
            Log::line(line + " ❌ 无法提取");
            invalid.push_back(url);
        }
        SafariTabs::closeFrontTab(SafariTabs::oneLineCloseTabScript());
        Clock::current().sleep(seconds(kValidationCloseWait));
    }

    Log::line("\n=== 验证结果 ===");
    Log::line("有效: " + std::to_string(valid.size()) + "/" + std::to_string(urls.size()));
    Log::line("无效: " + std::to_string(invalid.size()));
    if (!invalid.empty()) {
        Log::line("\n无效 URL:");
        for (const std::string& url : invalid)
            Log::line("  " + url);
    }
    for (const std::string& url : valid)
        std::printf("%s\n", url.c_str());
    return 0;
}

} // namespace lorvantine::CLIRouter
