#pragma once

#include "TestSupport/SpeechServerProcess.h"

#include <string>
#include <vector>

namespace lorvantine::test {

// The requests that began each of `paragraphs`, in the order the program sent them. Every other
// request must carry the rest of the paragraph before it (a paragraph spoken in parts); a request
// that does not — the whole paragraph again, or text of none — is reported as a test failure.
// Reading every paragraph once, in order, gives back `paragraphs` itself.
std::vector<std::string> paragraphStarts(const std::vector<SpeechServerRequest>& requests,
                                         const std::vector<std::string>& paragraphs);

} // namespace lorvantine::test
