#include "SpeechServer.h"

#include "Segmenter.h"

#include <httplib.h>

#include <chrono>

namespace lorvantine::speechserver {

namespace {

constexpr const char* host = "127.0.0.1";
constexpr std::size_t maxBodyBytes = 1024 * 1024;
// Enough that answers being held back (delayMs) for many clients at once do not queue behind
// each other.
constexpr std::size_t workerThreads = 256;
constexpr const char* defaultVoice = "af_heart";

std::string dump(const nlohmann::json& value)
{
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void sendJson(httplib::Response& response, int status, const nlohmann::json& value)
{
    response.status = status;
    response.set_content(dump(value), "application/json");
}

AnswerWriter::Reply errorReply(int status, const std::string& message)
{
    return {status, "application/json", dump({{"error", message}})};
}

RequestLog::Arrival arrivalOf(const httplib::Request& request)
{
    RequestLog::Arrival arrival;
    arrival.method = request.method;
    arrival.path = request.target.empty() ? request.path : request.target;
    for (const auto& [name, value] : request.headers) {
        // The library files the peer's addresses among the headers; the client never sent them.
        if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT")
            continue;
        auto [it, inserted] = arrival.headers.emplace(name, value);
        if (!inserted)
            it->second += ", " + value;
    }
    arrival.body = request.body;
    return arrival;
}

std::optional<nlohmann::json> parseJson(const std::string& body)
{
    auto value = nlohmann::json::parse(body, nullptr, false);
    if (value.is_discarded())
        return std::nullopt;
    return value;
}

}

SpeechServer::SpeechServer(Speak speak)
    : speak_(std::move(speak))
    , http_(std::make_unique<httplib::Server>())
{
    http_->new_task_queue = [] { return new httplib::ThreadPool(workerThreads); };
    http_->set_payload_max_length(maxBodyBytes);
    http_->set_keep_alive_timeout(2);
    // Headers and body go out in separate writes; Nagle would hold the body back for an ACK.
    http_->set_tcp_nodelay(true);

    http_->Post(speechPath, [this](const httplib::Request& request, httplib::Response& response) {
        handleSpeech(request, response);
    });
    http_->Post("/control", [this](const httplib::Request& request, httplib::Response& response) {
        auto control = parseJson(request.body);
        if (!control)
            return sendJson(response, 400, {{"error", "the control body is not valid JSON"}});
        // Holding is the server's state rather than a plan for the next answers: it stops
        // answers already waiting too.
        std::optional<bool> hold;
        std::optional<int> release;
        if (control->is_object() && control->contains("hold")) {
            if (!(*control)["hold"].is_boolean())
                return sendJson(response, 400, {{"error", "\"hold\" must be true or false"}});
            hold = (*control)["hold"].get<bool>();
            control->erase("hold");
        }
        if (control->is_object() && control->contains("release")) {
            const auto& count = (*control)["release"];
            if (!count.is_number_integer() || count.get<int64_t>() < 1 || count.get<int64_t>() > 1000000)
                return sendJson(response, 400, {{"error", "\"release\" must be a whole number from 1"}});
            if (!hold.value_or(isHolding()))
                return sendJson(response, 400, {{"error", "\"release\" lets held answers go, and none are held"}});
            release = count.get<int>();
            control->erase("release");
        }
        if (auto error = plan_.apply(*control))
            return sendJson(response, 400, {{"error", *error}});
        if (hold)
            setHolding(*hold);
        if (release)
            releaseHeld(*release);
        sendJson(response, 200, {{"ok", true}, {"plan", plan_.describe()}});
    });
    http_->Get("/control", [this](const httplib::Request&, httplib::Response& response) {
        sendJson(response, 200, {{"ok", true}, {"plan", plan_.describe()}});
    });
    http_->Get("/log", [this](const httplib::Request&, httplib::Response& response) {
        sendJson(response, 200, log_.toJson());
    });
    http_->Post("/reset", [this](const httplib::Request&, httplib::Response& response) {
        plan_.reset();
        setHolding(false);
        log_.reset();
        sendJson(response, 200, {{"ok", true}});
    });
    auto unknown = [this](const httplib::Request& request, httplib::Response& response) {
        handleUnknown(request, response);
    };
    http_->Get(".*", unknown);
    http_->Post(".*", unknown);
    http_->Put(".*", unknown);
    http_->Patch(".*", unknown);
    http_->Delete(".*", unknown);
}

SpeechServer::~SpeechServer() = default;

std::optional<int> SpeechServer::bind(int port)
{
    if (port == 0) {
        int bound = http_->bind_to_any_port(host);
        return bound > 0 ? std::optional<int>(bound) : std::nullopt;
    }
    return http_->bind_to_port(host, port) ? std::optional<int>(port) : std::nullopt;
}

bool SpeechServer::run() { return http_->listen_after_bind(); }

void SpeechServer::stop()
{
    {
        std::lock_guard lock(stopMutex_);
        stopping_ = true;
    }
    stopSignal_.notify_all();
    http_->stop();
}

bool SpeechServer::waitFor(int milliseconds)
{
    std::unique_lock lock(stopMutex_);
    return !stopSignal_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return stopping_; });
}

bool SpeechServer::waitWhileHeld()
{
    std::unique_lock lock(stopMutex_);
    if (!holding_)
        return !stopping_;
    // Held answers go in the order they were held: the first `release` lets the oldest go.
    const std::uint64_t ticket = ++heldTickets_;
    stopSignal_.wait(lock, [&] { return stopping_ || !holding_ || ticket <= releasedTickets_; });
    return !stopping_;
}

void SpeechServer::setHolding(bool holding)
{
    {
        std::lock_guard lock(stopMutex_);
        // A new hold starts with no answer let through ahead of it.
        if (holding && !holding_)
            releasedTickets_ = heldTickets_;
        holding_ = holding;
    }
    stopSignal_.notify_all();
}

bool SpeechServer::isHolding()
{
    std::lock_guard lock(stopMutex_);
    return holding_;
}

void SpeechServer::releaseHeld(int count)
{
    {
        std::lock_guard lock(stopMutex_);
        releasedTickets_ += static_cast<std::uint64_t>(count);
    }
    stopSignal_.notify_all();
}

void SpeechServer::handleSpeech(const httplib::Request& request, httplib::Response& response)
{
    auto order = log_.begin(arrivalOf(request));
    RequestLog::Outcome outcome;
    AnswerWriter::Reply reply;
    try {
        reply = answerSpeech(request.body, outcome);
    } catch (const std::exception& error) {
        reply = errorReply(500, std::string("internal error: ") + error.what());
    }
    response.status = reply.status;
    if (reply.hangUp) {
        response.set_chunked_content_provider(reply.contentType, [](std::size_t, httplib::DataSink&) { return false; });
    } else if (reply.body.empty()) {
        response.set_content(reply.body, reply.contentType);
    } else {
        // Sent as a stream of known length, which the library never compresses: base64 MP3 would
        // gain little, and the time of a client would be the server's compression.
        auto body = std::make_shared<const std::string>(std::move(reply.body));
        response.set_content_provider(body->size(), reply.contentType,
            [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) { return sink.write(body->data() + offset, length); });
    }
    outcome.status = reply.status;
    log_.finish(order, std::move(outcome));
}

void SpeechServer::handleUnknown(const httplib::Request& request, httplib::Response& response)
{
    auto order = log_.begin(arrivalOf(request));
    sendJson(response, 404, {{"error", "no route for " + request.method + " " + request.path}});
    RequestLog::Outcome outcome;
    outcome.status = 404;
    log_.finish(order, std::move(outcome));
}

AnswerWriter::Reply SpeechServer::answerSpeech(const std::string& body, RequestLog::Outcome& outcome)
{
    auto request = parseJson(body);
    if (!request)
        return errorReply(400, "the request body is not valid JSON");
    if (!request->is_object())
        return errorReply(400, "the request body must be a JSON object");
    auto optionalString = [&](const char* key) -> std::optional<std::string> {
        auto it = request->find(key);
        if (it == request->end() || !it->is_string())
            return std::nullopt;
        return it->get<std::string>();
    };
    outcome.input = optionalString("input");
    outcome.voiceCode = optionalString("voice_code");
    outcome.language = optionalString("language");
    if (!outcome.input)
        return errorReply(400, "\"input\" must be a string");
    for (const char* key : {"voice_code", "language"}) {
        if (request->contains(key) && !request->at(key).is_string())
            return errorReply(400, std::string("\"") + key + "\" must be a string");
    }
    double speed = 1;
    if (request->contains("speed")) {
        const auto& value = request->at("speed");
        if (!value.is_number() || value.get<double>() <= 0)
            return errorReply(400, "\"speed\" must be a positive number");
        speed = value.get<double>();
    }

    FaultDecision decision = plan_.take();
    outcome.fault = decision.faultName();
    if ((decision.delayMs > 0 && !waitFor(decision.delayMs)) || !waitWhileHeld())
        return errorReply(503, "the server is shutting down");

    AnswerWriter::Part part;
    bool answersWithSpeech = decision.fault != Fault::HttpStatus && decision.fault != Fault::Html
        && decision.fault != Fault::EmptyBody && decision.fault != Fault::HangUp;
    if (decision.fault == Fault::NoProgress) {
        part.unprocessedText = *outcome.input;
    } else if (answersWithSpeech) {
        auto split = Segmenter::splitPrefix(*outcome.input);
        part.processedText = Segmenter::trim(split.spoken);
        part.unprocessedText = std::move(split.rest);
        if (!part.processedText.empty() && decision.fault != Fault::Silent) {
            auto audio = speak_(part.processedText, outcome.voiceCode.value_or(defaultVoice), speed);
            if (!audio)
                return errorReply(500, "speech synthesis failed");
            part.audio = std::move(*audio);
        }
    }
    outcome.processedText = part.processedText;
    return AnswerWriter::write(part, decision);
}

}
