#pragma once

#include <filesystem>

namespace lorvantine::test {

// The program as built beside these tests, and the fixture desktops and documents it is run on.
inline const std::filesystem::path lorvantineProgram = std::filesystem::path(LORVANTINE_BINARY_DIR) / "lorvantine";
// A stand-in for the program proper that tells which signals the launcher held back.
inline const std::filesystem::path launcherSignalProbe = std::filesystem::path(LORVANTINE_BINARY_DIR) / "launcher-signal-probe";
inline const std::filesystem::path testFixtures = std::filesystem::path(LORVANTINE_SOURCE_DIR) / "tests" / "fixtures";

} // namespace lorvantine::test
