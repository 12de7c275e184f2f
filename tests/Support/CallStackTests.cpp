#include "Support/CallStack.h"

#include <gtest/gtest.h>

namespace lorvantine::testing {

std::string g_knownCallers;

// Outside the anonymous namespace so that its name is exported like the program's own functions.
[[gnu::noinline]] void knownCaller(const std::string& depth)
{
    g_knownCallers = CallStack::callers(std::stoi(depth));
}

namespace {

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

TEST(CallStack, NamesTheCallerFirst)
{
    knownCaller("2");
    EXPECT_TRUE(startsWith(g_knownCallers, "lorvantine::testing::knownCaller(std::string const&) + ")) << g_knownCallers;
    EXPECT_NE(g_knownCallers.find(" ← "), std::string::npos) << g_knownCallers;
    EXPECT_EQ(CallStack::callers(0), "");
}

TEST(CallStack, NamesFramesDemangledWithTheirOffset)
{
    const auto* function = reinterpret_cast<const char*>(&CallStack::frameName);
    EXPECT_EQ(CallStack::frameName(function), "lorvantine::CallStack::frameName(void const*) + 0");
    EXPECT_EQ(CallStack::frameName(function + 5), "lorvantine::CallStack::frameName(void const*) + 5");
    EXPECT_EQ(CallStack::frameName(nullptr), "0x0");
    int onTheStack = 0;
    EXPECT_TRUE(startsWith(CallStack::frameName(&onTheStack), "0x"));
}

} // namespace
} // namespace lorvantine::testing
