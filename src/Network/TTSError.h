#pragma once

#include "Support/ErrorValue.h"

#include <string>

namespace lorvantine {

// The speech client's own failures. An HTTP status of 400 or more is its own code; transport
// errors ("NSURLErrorDomain") and JSON parser errors ("NSCocoaErrorDomain") keep their domain.
namespace TTSError {

inline constexpr const char* domain = "TTS";
inline constexpr int noData = -1;
inline constexpr int badJSON = -2;
inline constexpr int badAudio = -3;
// The server answered without getting any further: what it left to speak did not get shorter.
inline constexpr int noProgress = -4;

inline ErrorValue make(int code, std::string description) { return ErrorValue{domain, code, std::move(description)}; }

} // namespace TTSError
} // namespace lorvantine
