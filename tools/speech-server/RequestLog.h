#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace lorvantine::speechserver {

// Every request the server saw, in arrival order, for tests to inspect. Bounded: the oldest
// entries go first once there are too many or their bodies grow too large. Safe from any thread.
class RequestLog {
public:
    struct Arrival {
        std::string method;
        std::string path;
        std::map<std::string, std::string> headers;  // repeated names joined with ", "
        std::string body;
    };

    struct Outcome {
        int status = 0;
        std::string fault;
        std::optional<std::string> voiceCode;
        std::optional<std::string> language;
        std::optional<std::string> input;
        std::optional<std::string> processedText;
    };

    RequestLog();

    // Records the arrival and returns its order number (from 1).
    uint64_t begin(Arrival arrival);
    void finish(uint64_t order, Outcome outcome);

    nlohmann::json toJson() const;
    // Forgets every entry and restarts numbering; requests still in flight stay counted.
    void reset();

private:
    struct Entry {
        uint64_t order = 0;
        double arrivalMs = 0;
        std::optional<double> completionMs;
        int concurrency = 0;
        Arrival arrival;
        Outcome outcome;
    };

    double millisecondsSinceStart() const;
    void trim();

    mutable std::mutex mutex_;
    std::chrono::steady_clock::time_point start_;
    std::deque<Entry> entries_;
    std::size_t storedBytes_ = 0;
    uint64_t nextOrder_ = 1;
    uint64_t dropped_ = 0;
    int inFlight_ = 0;
};

}
