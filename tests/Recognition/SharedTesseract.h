#pragma once

#include "Platform/Backends/TesseractRecognizer.h"

#include <memory>

namespace lorvantine::testing {

// One engine for the whole test binary: starting Tesseract and loading its models is the slow part.
inline std::shared_ptr<TesseractRecognizer> sharedTesseract()
{
    static auto recognizer = std::make_shared<TesseractRecognizer>();
    return recognizer;
}

} // namespace lorvantine::testing
