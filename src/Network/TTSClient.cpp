#include "Network/TTSClient.h"

#include "Network/LanguageDetector.h"
#include "Network/SpeechText.h"
#include "Network/TTSAnswerReader.h"
#include "Network/TTSCancellation.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/HttpPort.h"
#include "Platform/TimeZone.h"
#include "Preferences/PreferencesModel.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>

namespace lorvantine {

namespace {

constexpr const char* speechPath = "/api/captioned_speech_partly";
constexpr const char* builtInUSBaseURL = "http://127.0.0.1:8880";
constexpr const char* builtInCNBaseURL = "http://127.0.0.1:8443";
constexpr int attemptsPerNode = 3;
// An answer is an object of flat members and a list of flat word objects.
constexpr size_t maxAnswerDepth = 16;
// Words spoken in one answer: one per Character of its input at most, and a few more for a
// server that also times pauses. The values of the document are bounded alike, generously, so
// that its parsed form stays within a few times its input.
constexpr size_t extraTimestamps = 64;
constexpr size_t valuesPerTimedCharacter = 16;

// The JSON reader's failure, as the platform's parser reports it.
ErrorValue jsonParserError()
{
    return ErrorValue{"NSCocoaErrorDomain", 3840, "The data couldn't be read because it isn't in the correct format."};
}

ErrorValue errorOf(const HttpError& error)
{
    return ErrorValue{error.domain, error.code, error.message};
}

ErrorValue cancelledError()
{
    return errorOf(NSURLError::error(NSURLError::cancelled));
}

bool isCancelled(const std::shared_ptr<TTSCancellation>& cancellation)
{
    return cancellation && cancellation->isCancelled();
}

// Like appending a path component to a URL: one slash between base path and `path`, any query
// or fragment of the base kept after it.
std::string appendingPath(const std::string& base, std::string_view path)
{
    size_t authority = base.find("://");
    size_t searchFrom = authority == std::string::npos ? 0 : authority + 3;
    size_t tailStart = base.find_first_of("?#", searchFrom);
    std::string head = base.substr(0, tailStart);
    std::string tail = tailStart == std::string::npos ? std::string() : base.substr(tailStart);
    while (head.size() > searchFrom && head.back() == '/')
        head.pop_back();
    return head + std::string(path) + tail;
}

std::string requestVoice(const std::string& voice, TextLanguage language)
{
    for (const char* prefix : {"zf_", "zm_", "af_", "am_"}) {
        if (voice.starts_with(prefix))
            return voice;
    }
    return language == TextLanguage::zh ? "zf_001" : "af_heart";
}

std::vector<std::uint8_t> requestBody(const std::string& input, const std::string& voice, TextLanguage language)
{
    nlohmann::ordered_json body = {
        {"model", "kokoro"},
        {"input", input},
        {"voice_code", voice},
        {"response_format", "mp3"},
        {"return_timestamps", true},
        {"speed", 1.5},
        {"stream", false},
        {"language", std::string(toString(language))},
    };
    try {
        std::string text = body.dump();
        return std::vector<std::uint8_t>(text.begin(), text.end());
    } catch (const nlohmann::json::exception&) {
        // Text that is not UTF-8 cannot be written as JSON; the request goes out without a body.
        return {};
    }
}

// The text the part speaks when the server left "processed_text" empty: the input without the
// rest it reports, when the input ends with that rest in whole Characters.
std::string rebuiltProcessedText(const std::string& input, const std::string& unprocessedText)
{
    std::string rest = Text::trimmingWhitespacesAndNewlines(unprocessedText);
    if (rest.empty())
        return input;
    const std::vector<std::string> inputCharacters = Text::characters(input);
    const std::vector<std::string> restCharacters = Text::characters(rest);
    if (restCharacters.size() > inputCharacters.size()
        || !std::equal(restCharacters.rbegin(), restCharacters.rend(), inputCharacters.rbegin()))
        return input;
    std::string spoken;
    for (size_t i = 0; i < inputCharacters.size() - restCharacters.size(); ++i)
        spoken += inputCharacters[i];
    return Text::trimmingWhitespacesAndNewlines(spoken);
}

TTSResult interpretAnswer(const std::string& input, HttpResult result)
{
    if (auto* error = std::get_if<HttpError>(&result))
        return Unexpected(errorOf(*error));
    HttpResponse& response = std::get<HttpResponse>(result);
    if (!response.body)
        return Unexpected(TTSError::make(TTSError::noData, "no data"));
    const std::vector<std::uint8_t>& body = *response.body;

    if (response.status >= 400) {
        std::string_view text(reinterpret_cast<const char*>(body.data()), body.size());
        std::string shown = Text::isValidUtf8(text) ? Text::characterPrefix(text, 200) : "?";
        return Unexpected(TTSError::make(response.status, "HTTP " + std::to_string(response.status) + ": " + shown));
    }

    const size_t timestampLimit = Text::characterCount(input) + extraTimestamps;
    auto part = TTSAnswerReader::read(std::move(*response.body),
        {.maxDepth = maxAnswerDepth, .maxValues = valuesPerTimedCharacter * timestampLimit, .maxTimestamps = timestampLimit});
    if (!part) {
        switch (part.error()) {
        case TTSAnswerReader::Fault::notJSON:
            return Unexpected(jsonParserError());
        case TTSAnswerReader::Fault::notAnObject:
            return Unexpected(TTSError::make(TTSError::badJSON, "bad json"));
        case TTSAnswerReader::Fault::noAudio:
            // An object that carries no audio at all is an error answer in disguise; taking it
            // for a silent part would skip its text without a word.
            return Unexpected(TTSError::make(TTSError::noData, "no data"));
        case TTSAnswerReader::Fault::badAudio:
            return Unexpected(TTSError::make(TTSError::badAudio, "bad audio b64"));
        }
    }
    if (part->processedText.empty())
        part->processedText = rebuiltProcessedText(input, part->unprocessedText);
    return std::move(part).value();
}

bool isRetryable(const ErrorValue& error)
{
    // An answer over the size limit would only be as long again.
    if (error.domain == NSURLError::domain)
        return error.code != NSURLError::dataLengthExceedsMaximum;
    if (error.domain != TTSError::domain)
        return false;
    return (error.code >= 500 && error.code <= 599) || error.code == TTSError::noData || error.code == TTSError::badJSON
        || error.code == TTSError::badAudio;
}

bool causesFailover(const ErrorValue& error)
{
    return error.domain == NSURLError::domain || (error.domain == TTSError::domain && error.code >= 500 && error.code <= 599);
}

} // namespace

struct TTSClient::Chain {
    std::string voice;
    // Characters of the text last sent, trimmed: each answer must leave less than this.
    size_t lastSentLength = 0;
    PartHandler onPart;
    DoneHandler onDone;
    std::shared_ptr<TTSCancellation> cancellation;
    AttemptFailureHandler onAttemptFailed;

    void finish(std::optional<ErrorValue> error)
    {
        if (onDone)
            onDone(std::move(error));
    }
};

namespace {

// A retry's wait that a cancellation may cut short: whichever of the timer and the
// cancellation takes the completion first answers it.
struct PendingRetry {
    TTSClient::Completion completion;
    std::atomic<bool> taken{false};
    WorkItem timer;
    std::mutex timerLock;

    bool take() { return !taken.exchange(true); }
};

// The exchange in flight, known to the cancellation before the exchange starts, so that a
// chain that has already moved on is never stopped through an older stopper.
struct ExchangeInFlight {
    std::mutex lock;
    HttpTask task;
    bool cancelled = false;

    void cancel()
    {
        HttpTask started;
        {
            std::lock_guard guard(lock);
            cancelled = true;
            started = task;
        }
        started.cancel();
    }
    void started(HttpTask startedTask)
    {
        bool cancelNow = false;
        {
            std::lock_guard guard(lock);
            task = startedTask;
            cancelNow = cancelled;
        }
        if (cancelNow)
            startedTask.cancel();
    }
};

} // namespace

std::shared_ptr<TTSClient> TTSClient::make(std::string voice, Configuration configuration)
{
    return std::shared_ptr<TTSClient>(new TTSClient(std::move(voice), std::move(configuration)));
}

TTSClient::TTSClient(std::string voice, Configuration configuration)
    : m_voice(std::move(voice))
    , m_session(configuration.session ? std::move(configuration.session) : HttpSession::makeDefault())
    , m_requestTimeout(configuration.requestTimeout)
{
    // A server the person chose is theirs to run: a built-in node beside it would only cost each
    // request its refused attempts and their waits first.
    bool mainlandChina = !configuration.serverChosen && mainlandCNTimezones().contains(configuration.timeZoneIdentifier);
    if (mainlandChina) {
        m_primaryURL = configuration.cnBaseURL;
        m_fallbackURL = configuration.usBaseURL;
    } else {
        m_primaryURL = configuration.usBaseURL;
    }
    Log::line(std::string("[TTS] endpoint=") + (mainlandChina ? "cn" : "us") + " tz=" + configuration.timeZoneIdentifier);
}

const std::shared_ptr<TTSClient>& TTSClient::shared()
{
    static const std::shared_ptr<TTSClient> client = make("af_heart");
    return client;
}

TTSClient::Configuration TTSClient::systemConfiguration()
{
    const std::optional<std::string> chosen = chosenServerURL();
    return Configuration{
        .timeZoneIdentifier = TimeZone::currentIdentifier(),
        .usBaseURL = chosen.value_or(builtInUSBaseURL),
        .cnBaseURL = cnBaseURL(),
        .serverChosen = chosen.has_value(),
    };
}

std::optional<std::string> TTSClient::chosenServerURL()
{
    auto stored = PreferencesModel::defaults().stringForKey(PreferencesModel::Key::ttsServerURL);
    std::string chosen = stored ? Text::trimmingWhitespacesAndNewlines(*stored) : std::string();
    if (chosen.empty())
        return std::nullopt;
    return chosen;
}

std::string TTSClient::usBaseURL()
{
    return chosenServerURL().value_or(builtInUSBaseURL);
}

std::string TTSClient::cnBaseURL()
{
    return builtInCNBaseURL;
}

const std::set<std::string>& TTSClient::mainlandCNTimezones()
{
    static const std::set<std::string> zones { "Asia/Shanghai", "Asia/Urumqi", "Asia/Chongqing", "Asia/Harbin", "Asia/Kashgar", "PRC" };
    return zones;
}

void TTSClient::generate(std::string text, std::optional<std::string> voice, PartHandler onPart, DoneHandler onDone,
    std::shared_ptr<TTSCancellation> cancellation, AttemptFailureHandler onAttemptFailed)
{
    if (Text::isBlank(text)) {
        if (onDone)
            onDone(std::nullopt);
        return;
    }
    std::string normalised = SpeechText::normalize(text).text();
    auto chain = std::make_shared<Chain>(Chain{voice.value_or(m_voice), Text::characterCount(Text::trimmingWhitespacesAndNewlines(normalised)),
        std::move(onPart), std::move(onDone), std::move(cancellation), std::move(onAttemptFailed)});
    sendNext(std::move(chain), std::move(normalised));
}

void TTSClient::sendNext(std::shared_ptr<Chain> chain, std::string text)
{
    std::string voice = chain->voice;
    auto cancellation = chain->cancellation;
    requestPart(std::move(text), std::move(voice), [self = shared_from_this(), chain](TTSResult result) {
        // An answer that was already on its way when the chain was cancelled is not wanted.
        if (isCancelled(chain->cancellation)) {
            chain->finish(cancelledError());
            return;
        }
        if (!result) {
            chain->finish(result.error());
            return;
        }
        TTSPart& part = result.value();
        std::string rest = Text::trimmingWhitespacesAndNewlines(part.unprocessedText);
        if (chain->onPart)
            chain->onPart(std::move(part));
        if (rest.empty()) {
            chain->finish(std::nullopt);
            return;
        }
        // Only a rest that gets shorter ends: a server that hands back the text as it was, or
        // alternates between rests, or lets the rest grow would be asked for ever.
        const size_t restLength = Text::characterCount(rest);
        if (restLength >= chain->lastSentLength) {
            chain->finish(TTSError::make(TTSError::noProgress, "no progress: " + std::to_string(restLength) + " Characters still unspoken"));
            return;
        }
        chain->lastSentLength = restLength;
        self->sendNext(chain, std::move(rest));
    }, std::move(cancellation), chain->onAttemptFailed);
}

void TTSClient::requestPart(std::string input, std::string voice, Completion completion, std::shared_ptr<TTSCancellation> cancellation,
    AttemptFailureHandler onAttemptFailed)
{
    // One copy of the text serves every attempt on either node.
    auto sharedInput = std::make_shared<const std::string>(std::move(input));
    AttemptContext context{std::move(cancellation), std::move(onAttemptFailed)};
    performRequestPart(m_primaryURL, sharedInput, voice, 1,
        [weakSelf = weak_from_this(), input = sharedInput, voice, completion = std::move(completion), context](TTSResult result) mutable {
            if (result || isCancelled(context.cancellation)) {
                completion(std::move(result));
                return;
            }
            auto self = weakSelf.lock();
            if (!self)
                return;
            const ErrorValue& error = result.error();
            if (self->m_fallbackURL && causesFailover(error)) {
                Log::line("[TTS] CN 节点重试用尽 (" + std::to_string(error.code) + " " + error.domain + ")，切到 US 节点");
                self->performRequestPart(*self->m_fallbackURL, std::move(input), std::move(voice), 1, std::move(completion),
                    std::move(context));
                return;
            }
            completion(std::move(result));
        },
        context);
}

void TTSClient::performRequestPart(std::string baseURL, SharedText input, std::string voice, int attempt, Completion completion,
    AttemptContext context)
{
    std::string url = baseURL;
    SharedText sentInput = input;
    const TimePoint sentAt = Clock::current().now();
    // Taken before the closure below takes the context.
    auto cancellation = context.cancellation;
    requestPartOnce(url, std::move(sentInput), voice,
        [weakSelf = weak_from_this(), baseURL = std::move(baseURL), input = std::move(input), voice, attempt,
            completion = std::move(completion), context = std::move(context), sentAt](TTSResult result) mutable {
            if (!result && !isCancelled(context.cancellation) && context.onAttemptFailed)
                context.onAttemptFailed(result.error(), sentAt);
            if (result || attempt >= attemptsPerNode || !isRetryable(result.error()) || isCancelled(context.cancellation)) {
                completion(std::move(result));
                return;
            }
            const ErrorValue& error = result.error();
            int delaySeconds = 2 * attempt;
            Log::line("[TTS] attempt " + std::to_string(attempt) + " failed (" + std::to_string(error.code) + " " + error.domain + ")，"
                + std::to_string(delaySeconds) + "s 后重试");
            auto pending = std::make_shared<PendingRetry>();
            pending->completion = std::move(completion);
            // Held weakly: the timer owns the wait, and a wait that has ended needs no stopping.
            if (context.cancellation) {
                context.cancellation->setStopper([weakSelf, weakPending = std::weak_ptr<PendingRetry>(pending)] {
                    auto waiting = weakPending.lock();
                    if (!waiting || !waiting->take())
                        return;
                    {
                        std::lock_guard guard(waiting->timerLock);
                        waiting->timer.cancel();
                    }
                    if (auto self = weakSelf.lock())
                        self->m_session->delegateQueue().async([waiting] { waiting->completion(Unexpected(cancelledError())); });
                });
            }
            WorkItem timer = DispatchQueue::global().asyncAfter(seconds(delaySeconds),
                [weakSelf, baseURL = std::move(baseURL), input = std::move(input), voice = std::move(voice), attempt, pending,
                    context]() mutable {
                    if (!pending->take())
                        return;
                    auto self = weakSelf.lock();
                    if (!self)
                        return;
                    self->performRequestPart(std::move(baseURL), std::move(input), std::move(voice), attempt + 1,
                        std::move(pending->completion), std::move(context));
                });
            std::lock_guard guard(pending->timerLock);
            pending->timer = std::move(timer);
        },
        cancellation);
}

void TTSClient::requestPartOnce(const std::string& baseURL, SharedText input, const std::string& voice, Completion completion,
    const std::shared_ptr<TTSCancellation>& cancellation)
{
    if (isCancelled(cancellation)) {
        m_session->delegateQueue().async([completion = std::move(completion)] { completion(Unexpected(cancelledError())); });
        return;
    }
    TextLanguage language = LanguageDetector::detect(*input);
    HttpRequest request;
    request.url = appendingPath(baseURL, speechPath);
    request.method = "POST";
    request.timeout = m_requestTimeout;
    request.totalTimeout = totalTimeoutFactor * m_requestTimeout;
    request.maxBodyBytes = maxAnswerBytes;
    request.headers = {{"Content-Type", "application/json"}, {"User-Agent", "LorvantineDesktop/1.0"}};
    request.body = requestBody(*input, requestVoice(voice, language), language);
    auto exchange = std::make_shared<ExchangeInFlight>();
    if (cancellation)
        cancellation->setStopper([exchange] { exchange->cancel(); });
    exchange->started(m_session->dataTask(std::move(request), [input = std::move(input), completion = std::move(completion)](HttpResult result) {
        completion(interpretAnswer(*input, std::move(result)));
    }));
}

} // namespace lorvantine
