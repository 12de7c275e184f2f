#include "EndToEnd/ParagraphRequests.h"

#include <gtest/gtest.h>

namespace lorvantine::test {

std::vector<std::string> paragraphStarts(const std::vector<SpeechServerRequest>& requests,
                                         const std::vector<std::string>& paragraphs)
{
    std::vector<std::string> starts;
    size_t next = 0;
    for (const SpeechServerRequest& request : requests) {
        if (!request.input) {
            ADD_FAILURE() << "a speech request without text";
            continue;
        }
        const std::string& input = *request.input;
        if (next < paragraphs.size() && input == paragraphs[next]) {
            starts.push_back(input);
            ++next;
            continue;
        }
        if (next == 0 || input == paragraphs[next - 1] || !paragraphs[next - 1].ends_with(input))
            ADD_FAILURE() << "a request that continues no paragraph: " << input;
    }
    return starts;
}

} // namespace lorvantine::test
