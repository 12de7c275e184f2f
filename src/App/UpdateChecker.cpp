#include "App/UpdateChecker.h"

#include "App/AppVersion.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/Toolkit/Alert.h"
#include "Platform/WorkspacePort.h"
#include "Preferences/PreferencesModel.h"
#include "Support/JsonReading.h"
#include "Support/Text.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <vector>

namespace lorvantine {

namespace {

// The number a version component stands for: its leading run of numeric Characters read as a
// decimal integer, 0 when that run is empty or is not one (other scripts' digits, too large).
int64_t updateComponentValue(std::string_view component)
{
    std::string run;
    for (const std::string& character : Text::characters(component)) {
        if (!Text::isNumberCharacter(character))
            break;
        run += character;
    }
    int64_t value = 0;
    const auto [at, error] = std::from_chars(run.data(), run.data() + run.size(), value);
    if (run.empty() || error != std::errc {} || at != run.data() + run.size())
        return 0;
    return value;
}

std::vector<int64_t> updateComponents(std::string_view version)
{
    std::vector<int64_t> values;
    for (const std::string& component : Text::components(version, "."))
        if (!component.empty())
            values.push_back(updateComponentValue(component));
    return values;
}

// An absolute URL as the platform's URL type takes one: a scheme, then no white space or
// control characters.
bool updateIsAbsoluteURL(std::string_view url)
{
    const size_t colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(url[0])))
        return false;
    for (size_t i = 1; i < colon; ++i) {
        const unsigned char c = static_cast<unsigned char>(url[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            return false;
    }
    if (colon + 1 == url.size())
        return false;
    return std::none_of(url.begin(), url.end(), [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F; });
}

// The host of a "scheme://host..." URL, lowercased; empty when it has none.
std::string updateHostOf(std::string_view url)
{
    const size_t slashes = url.find("://");
    if (slashes == std::string_view::npos)
        return {};
    std::string_view rest = url.substr(slashes + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const size_t at = rest.rfind('@'); at != std::string_view::npos)
        rest = rest.substr(at + 1);
    if (rest.starts_with('[')) {
        const size_t close = rest.find(']');
        return close == std::string_view::npos ? std::string() : Text::asciiLowercased(rest.substr(0, close + 1));
    }
    return Text::asciiLowercased(rest.substr(0, rest.find(':')));
}

bool updateIsLoopbackHost(const std::string& host)
{
    if (host == "localhost" || host == "[::1]")
        return true;
    // 127.0.0.0/8, written as four decimal numbers.
    if (!host.starts_with("127."))
        return false;
    const std::vector<std::string> parts = Text::components(host, ".");
    return parts.size() == 4 && std::all_of(parts.begin(), parts.end(), [](const std::string& part) {
        int value = -1;
        const auto [at, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        return !part.empty() && error == std::errc {} && at == part.data() + part.size() && value <= 255;
    });
}

// The notes as the alert shows them: the longest run of whole Characters from the start that
// stays within the alert's bounds, followed by "…" when anything was left out. Only the first
// Characters are ever looked at, so notes near the manifest's limit cost no more than short ones.
std::string updateShownNotes(std::string_view notes)
{
    const std::string head = Text::characterPrefix(notes, UpdateChecker::maxNotesCharacters + 1);
    size_t kept = 0;
    size_t characters = 0;
    size_t lines = 1;
    for (const std::string& character : Text::characters(head)) {
        if (characters == UpdateChecker::maxNotesCharacters || lines > UpdateChecker::maxNotesLines
            || kept + character.size() > UpdateChecker::maxNotesBytes)
            return head.substr(0, kept) + "…";
        kept += character.size();
        ++characters;
        if (Text::isNewlineCharacter(character))
            ++lines;
    }
    return head;
}

} // namespace

const std::shared_ptr<UpdateChecker>& UpdateChecker::shared()
{
    static const std::shared_ptr<UpdateChecker> checker = [] {
        Options options;
        if (const char* feed = std::getenv("LORVANTINE_UPDATE_URL"); feed && *feed)
            options.feedURL = feed;
        options.installedVersion = AppVersion::shortVersionString();
        return create(std::move(options));
    }();
    return checker;
}

std::shared_ptr<UpdateChecker> UpdateChecker::create(Options options)
{
    return std::shared_ptr<UpdateChecker>(new UpdateChecker(std::move(options)));
}

bool UpdateChecker::isNewer(std::string_view a, std::string_view b)
{
    std::vector<int64_t> left = updateComponents(a);
    std::vector<int64_t> right = updateComponents(b);
    const size_t length = std::max(left.size(), right.size());
    left.resize(length, 0);
    right.resize(length, 0);
    for (size_t i = 0; i < length; ++i)
        if (left[i] != right[i])
            return left[i] > right[i];
    return false;
}

bool UpdateChecker::isAllowedURL(std::string_view url)
{
    if (!updateIsAbsoluteURL(url))
        return false;
    const std::string scheme = Text::asciiLowercased(url.substr(0, url.find(':')));
    const std::string host = updateHostOf(url);
    if (host.empty())
        return false;
    return scheme == "https" || (scheme == "http" && updateIsLoopbackHost(host));
}

void UpdateChecker::checkInBackground()
{
    // A feed that could be read or answered by anyone on the way is not asked at all.
    if (!isAllowedURL(m_options.feedURL))
        return;
    if (!m_options.session)
        m_options.session = HttpSession::makeDefault();
    HttpRequest request;
    request.url = m_options.feedURL;
    request.timeout = seconds(10);
    request.totalTimeout = seconds(10);
    request.maxBodyBytes = maxManifestBytes;
    // A redirect is held to the same rule as the feed itself.
    request.allowsURL = &UpdateChecker::isAllowedURL;
    std::weak_ptr<UpdateChecker> weak = weak_from_this();
    m_options.session->dataTask(std::move(request), [weak](HttpResult result) {
        if (auto self = weak.lock())
            self->handleAnswer(result);
    });
}

void UpdateChecker::handleAnswer(const HttpResult& result)
{
    const auto* response = std::get_if<HttpResponse>(&result);
    if (!response || !response->body || response->body->size() > maxManifestBytes)
        return;
    const std::string_view text(reinterpret_cast<const char*>(response->body->data()), response->body->size());
    auto manifest = JsonReading::parse(text, { .maxDepth = 64, .maxBytes = maxManifestBytes });
    if (!manifest || !manifest->is_object())
        return;
    const auto version = manifest->find("version");
    const auto download = manifest->find("download_url");
    if (version == manifest->end() || !version->is_string() || download == manifest->end() || !download->is_string())
        return;
    const std::string newVersion = version->get<std::string>();
    if (newVersion.size() > maxVersionBytes)
        return;
    const std::string downloadURL = download->get<std::string>();
    // Opened in the browser at a click: only a download fetched over a secure channel.
    if (!isAllowedURL(downloadURL))
        return;
    const std::string current = installedVersion();
    if (!isNewer(newVersion, current))
        return;
    if (PreferencesModel::defaults().stringForKey(remindedKey) == newVersion)
        return;
    // Cut here, off the main thread: the alert grows with its text and lays all of it out.
    std::string notes;
    if (const auto found = manifest->find("release_notes"); found != manifest->end() && found->is_string())
        notes = updateShownNotes(found->get_ref<const std::string&>());
    std::weak_ptr<UpdateChecker> weak = weak_from_this();
    DispatchQueue::main().async([weak, newVersion, current, notes, downloadURL] {
        if (auto self = weak.lock())
            self->presentAlert(newVersion, current, notes, downloadURL);
    });
}

void UpdateChecker::presentAlert(const std::string& newVersion, const std::string& current, const std::string& notes,
                                 const std::string& downloadURL)
{
    // Stored first: whichever button ends the alert, this version is announced once.
    PreferencesModel::defaults().set(remindedKey, newVersion);
    Alert alert;
    alert.alertStyle = Alert::Style::informational;
    alert.messageText = "Lorvantine " + newVersion + " 可用";
    alert.informativeText = "你正在使用 " + current + "。点击下载会在浏览器打开 DMG。下载后拖到 Applications 即可覆盖旧版。";
    if (!notes.empty())
        alert.informativeText += "\n\n更新内容：\n" + notes;
    alert.addButton("立即下载");
    alert.addButton("稍后", Alert::ButtonRole::cancel);
    if (alert.runModal() == Alert::firstButtonReturn)
        Platform::workspace().openURL(downloadURL);
}

} // namespace lorvantine
