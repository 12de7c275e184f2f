#include "CLI/SkippedLines.h"

#include "Support/Log.h"
#include "Support/Text.h"

namespace lorvantine {

namespace {

constexpr size_t namedLines = 10;

} // namespace

SkippedLines::SkippedLines(std::string reason)
    : m_reason(std::move(reason))
{
}

void SkippedLines::add(size_t lineNumber)
{
    if (m_count > 0 && lineNumber == m_last)
        return;
    ++m_count;
    m_last = lineNumber;
    if (m_named.size() < namedLines)
        m_named.push_back(lineNumber);
}

void SkippedLines::print() const
{
    if (empty())
        return;
    std::vector<std::string> numbers;
    for (size_t number : m_named)
        numbers.push_back(std::to_string(number));
    Log::line("⚠️ " + std::to_string(m_count) + " 行" + m_reason + "，已跳过: 第 " + Text::joined(numbers, ", ")
              + (m_count > namedLines ? " 等" : "") + " 行");
}

} // namespace lorvantine
