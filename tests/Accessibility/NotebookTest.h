#pragma once

#include "Accessibility/AXReader.h"
#include "Platform/AccessibilityPort.h"
#include "SimDesktop/SimDesktop.h"

#include <gtest/gtest.h>

namespace lorvantine {

// The notebook fixture installed for the test's life: a window "Groceries" at (200, 100) whose text
// area "body" sits at (470, 160), 510 × 300, and holds "Milk, eggs and 面包 🍞 for the week".
class NotebookTest : public ::testing::Test {
protected:
    std::shared_ptr<SimDesktop> desktop = load();
    Platform::ScopedServices services{desktop->services()};
    AXElement app = desktop->applicationElement(610);
    AXElement window = desktop->element("window");
    AXElement body = desktop->element("body");

    static std::shared_ptr<SimDesktop> load()
    {
        std::string error;
        auto loaded = SimDesktop::load(LORVANTINE_SOURCE_DIR "/tests/fixtures/ax-reader-notebook.json", error);
        EXPECT_TRUE(loaded) << error;
        return loaded ? loaded : SimDesktop::create();
    }
};

} // namespace lorvantine
