#pragma once

#include "Core/ArticleReader.h"
#include "Network/TTSClient.h"
#include "Platform/AudioOutputPort.h"
#include "TestSupport/DesktopTest.h"

#include <memory>

namespace lorvantine::test {

// A desktop test with a reading session of its own whose speech client points at a closed
// loopback port: the session takes the paragraphs it is given, and nothing is spoken.
class SelectionTest : public DesktopTest {
protected:
    void SetUp() override
    {
        DesktopTest::SetUp();
        AudioOutput::route(AudioOutput::Destination::clockPaced);
        reader = ArticleReader::create(TTSClient::make("af_heart", { .timeZoneIdentifier = "Europe/Berlin",
                                                                     .usBaseURL = "http://127.0.0.1:9",
                                                                     .cnBaseURL = "http://127.0.0.1:9" }));
        log.clear();
    }
    void TearDown() override
    {
        if (HasFailure())
            for (const auto& line : log.lines())
                std::fprintf(stderr, "  | %s\n", line.c_str());
        reader->stop();
        Dispatch::waitUntilIdle();
        reader.reset();
        DesktopTest::TearDown();
    }

    std::shared_ptr<ArticleReader> reader;
};

} // namespace lorvantine::test
