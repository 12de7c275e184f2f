#pragma once

#include "SimDesktop/Model/SimFixture.h"
#include "Support/Expected.h"

#include <string>
#include <string_view>

namespace lorvantine {

// Reads desktop fixtures (JSON; the schema is in src/SimDesktop/README.md). A malformed fixture
// is refused with one message naming the file, the JSON path of the fault and what is wrong, e.g.
// "safari.json: /applications/0/windows/1/frame: expected [x, y, width, height]".
namespace SimFixtureLoader {

Expected<SimFixture, std::string> parse(std::string_view json, const std::string& fileName);
Expected<SimFixture, std::string> load(const std::string& path);

} // namespace SimFixtureLoader
} // namespace lorvantine
