#pragma once

#include "EndToEnd/ChildProcess.h"
#include "TestSupport/ScratchDirectory.h"
#include "TestSupport/SpeechServerProcess.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>

namespace lorvantine::test {

// The built program reading one application's document with --read-article on the desktop in
// `fixture`, silent, speaking through a speech server of its own, with `settings` (the server's
// address added) and a picture of the screen per paragraph in `snapshots`.
struct ReadArticleRun {
    ReadArticleRun(const std::string& fixture, const std::string& bundleID, nlohmann::json settings);

    SpeechServerProcess server;
    ScratchDirectory directory;
    std::filesystem::path snapshots;
    ChildProcess program;

private:
    static ChildProcess::Options options(const ReadArticleRun& run, const std::string& fixture, const std::string& bundleID,
                                         nlohmann::json settings);
};

} // namespace lorvantine::test
