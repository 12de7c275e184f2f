#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lorvantine {

// Diagnostics: one line each on unbuffered standard error, opened by the component's bracketed
// tag ("[Audio] ..."). There are no levels. Lines from several threads never interleave.
namespace Log {

// Writes `line` followed by a line feed in one write.
void line(std::string_view line);

// Collects every line written while it lives (from any thread), in order. With
// `Echo::no` the lines are kept from standard error; tests use that to keep their output quiet.
class Capture {
public:
    enum class Echo { no, yes };
    explicit Capture(Echo echo = Echo::no);
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    std::vector<std::string> lines() const;
    // Lines that contain `needle` anywhere.
    std::vector<std::string> linesContaining(std::string_view needle) const;
    bool contains(std::string_view needle) const { return !linesContaining(needle).empty(); }
    void clear();

private:
    struct State;
    State* m_state;
};

} // namespace Log
} // namespace lorvantine
