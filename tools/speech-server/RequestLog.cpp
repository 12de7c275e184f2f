#include "RequestLog.h"

#include <cmath>

namespace lorvantine::speechserver {

namespace {

constexpr std::size_t maxEntries = 2000;
constexpr std::size_t maxStoredBytes = 32 * 1024 * 1024;

nlohmann::json optionalText(const std::optional<std::string>& text)
{
    return text ? nlohmann::json(*text) : nlohmann::json(nullptr);
}

double roundedMs(double ms) { return std::round(ms * 1000) / 1000; }

}

RequestLog::RequestLog()
    : start_(std::chrono::steady_clock::now())
{
}

double RequestLog::millisecondsSinceStart() const
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
}

uint64_t RequestLog::begin(Arrival arrival)
{
    std::lock_guard lock(mutex_);
    Entry entry;
    uint64_t order = nextOrder_++;
    entry.order = order;
    entry.arrivalMs = millisecondsSinceStart();
    entry.concurrency = ++inFlight_;
    storedBytes_ += arrival.body.size();
    entry.arrival = std::move(arrival);
    entries_.push_back(std::move(entry));
    trim();
    return order;
}

void RequestLog::finish(uint64_t order, Outcome outcome)
{
    std::lock_guard lock(mutex_);
    if (inFlight_ > 0)
        --inFlight_;
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if (it->order == order) {
            it->completionMs = millisecondsSinceStart();
            storedBytes_ += outcome.input.value_or("").size();
            it->outcome = std::move(outcome);
            trim();
            return;
        }
    }
}

void RequestLog::trim()
{
    while (!entries_.empty() && (entries_.size() > maxEntries || storedBytes_ > maxStoredBytes)) {
        const auto& oldest = entries_.front();
        storedBytes_ -= oldest.arrival.body.size() + oldest.outcome.input.value_or("").size();
        entries_.pop_front();
        ++dropped_;
    }
}

nlohmann::json RequestLog::toJson() const
{
    std::lock_guard lock(mutex_);
    auto requests = nlohmann::json::array();
    for (const auto& entry : entries_) {
        requests.push_back({
            {"order", entry.order},
            {"method", entry.arrival.method},
            {"path", entry.arrival.path},
            {"arrivalMs", roundedMs(entry.arrivalMs)},
            {"completionMs", entry.completionMs ? nlohmann::json(roundedMs(*entry.completionMs)) : nlohmann::json(nullptr)},
            {"concurrency", entry.concurrency},
            {"headers", entry.arrival.headers},
            {"body", entry.arrival.body},
            {"status", entry.outcome.status},
            {"fault", entry.outcome.fault},
            {"voice_code", optionalText(entry.outcome.voiceCode)},
            {"language", optionalText(entry.outcome.language)},
            {"input", optionalText(entry.outcome.input)},
            {"processed_text", optionalText(entry.outcome.processedText)},
        });
    }
    return {{"requests", std::move(requests)}, {"dropped", dropped_}, {"inFlight", inFlight_}};
}

void RequestLog::reset()
{
    std::lock_guard lock(mutex_);
    entries_.clear();
    storedBytes_ = 0;
    nextOrder_ = 1;
    dropped_ = 0;
}

}
