#pragma once

#include <string>

#include "FaultPlan.h"
#include "SpokenAudio.h"

namespace lorvantine::speechserver {

// Turns one spoken part into the HTTP answer of the speech endpoint, spelled and damaged as
// the fault decision asks.
namespace AnswerWriter {

struct Part {
    SpokenAudio audio;
    std::string processedText;
    std::string unprocessedText;
};

struct Reply {
    int status = 200;
    std::string contentType;
    std::string body;
    // Send the status and headers only, then close the connection.
    bool hangUp = false;
};

Reply write(const Part& part, const FaultDecision& decision);

}

}
