#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace lorvantine {

// The lines of an input file that a command left out for one reason, said in one line before
// its account: how many, and the numbers (counted from 1) of the first ten. Holds no more than
// those ten, however many lines are left out.
class SkippedLines {
public:
    // `reason` completes "N 行…": "不是 UTF-8", for one.
    explicit SkippedLines(std::string reason);

    // A line number given twice in a row (two pieces of one line) counts once.
    void add(size_t lineNumber);
    bool empty() const { return m_count == 0; }

    // "⚠️ 2 行不是 UTF-8，已跳过: 第 2, 4 行"; nothing when no line was left out.
    void print() const;

private:
    std::string m_reason;
    size_t m_count = 0;
    size_t m_last = 0;
    std::vector<size_t> m_named;
};

} // namespace lorvantine
