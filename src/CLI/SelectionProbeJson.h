#pragma once

#include "CLI/SelectionProbeRecords.h"
#include "Support/Expected.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvantine {

// The matrix's files as JSON: the configuration read, the report and the baseline written
// pretty with sorted keys (optional fields left out, never null), and the baseline read back.
namespace SelectionProbeJson {

// Keys are matched exactly and unknown keys ignored; a missing required key, a value of the wrong
// type or an unknown setup or cleanup value refuses the whole file (the error says where).
Expected<SelectionProbeRunner::MatrixConfig, std::string> decodeConfig(std::string_view text);

// None only when a number cannot be written (not finite).
std::optional<std::string> encodeResults(const std::vector<SelectionProbeRunner::ProbeResult>& results);
std::optional<std::string> encodeBaseline(const SelectionProbeRunner::BaselineFingerprint& baseline);
std::optional<SelectionProbeRunner::BaselineFingerprint> decodeBaseline(std::string_view text);

} // namespace SelectionProbeJson
} // namespace lorvantine
