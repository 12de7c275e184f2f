#pragma once

#include "Core/HighlightTestReport.h"
#include "Support/Expected.h"
#include "Support/JsonValue.h"
#include "Support/JsonWriter.h"

#include <string>
#include <string_view>

namespace lorvantine {

// The JSON form of highlight test reports, in the results files that other tools read: keys
// sorted at every depth, "/" escaped, optional fields left out rather than null. Stateless and
// thread-safe; every function may be called from any thread.
namespace HighlightTestReportJson {

JsonValue toJson(const HighlightTestReport& report);

// One results-file line: compact, line feed included. Every Character that a reader splitting
// at line breaks would take for one (CR, VT, FF, U+0085, U+2028, U+2029) is written as an
// escape, so no text inside a report can split its line. Fails only for a non-finite number.
Expected<std::string, JsonError> jsonLine(const HighlightTestReport& report);

// The indented form of one report, without a trailing line feed.
Expected<std::string, JsonError> prettyJson(const HighlightTestReport& report);

// Why a text gave no report.
struct DecodeError {
    enum class Kind {
        malformed,       // not a report: no JSON object, a missing key, a wrong type
        negativeCount,   // a whole report, but a count in it is below zero, so it cannot be summed
        fractionalCount, // a whole report, but a count (or index) in it is written with a fraction ("4.5")
        oversizedCount,  // a whole report, but a count (or index) in it is beyond a 64-bit signed integer
    };
    Kind kind = Kind::malformed;
    std::string message;
};

// Reads one report from outside text. A missing required key, a value of the wrong type, an
// integer that a 64-bit signed count cannot hold, or a count that is negative or has a fraction
// makes the whole report fail; unknown keys are ignored. Never throws.
Expected<HighlightTestReport, DecodeError> decode(std::string_view text);

} // namespace HighlightTestReportJson
} // namespace lorvantine
