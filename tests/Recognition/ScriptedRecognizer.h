#pragma once

#include "Platform/TextRecognitionPort.h"

namespace lorvantine::testing {

// Answers every picture with the same observations, or the same error.
class ScriptedRecognizer final : public TextRecognitionPort {
public:
    explicit ScriptedRecognizer(std::vector<TextObservation> observations) : m_answer(std::move(observations)) {}
    explicit ScriptedRecognizer(ErrorValue error) : m_answer(Unexpected(std::move(error))) {}

    Expected<std::vector<TextObservation>, ErrorValue> recognize(const Image&, const TextRecognitionRequest& request) override
    {
        lastRequest = request;
        return m_answer;
    }

    TextRecognitionRequest lastRequest;

private:
    Expected<std::vector<TextObservation>, ErrorValue> m_answer;
};

} // namespace lorvantine::testing
