#pragma once

#include <span>
#include <string_view>

namespace lorvantine {

// The program's string tables, compiled in (LocalizedStringTables.cpp). Add a key to both.
namespace LocalizedStringTables {

struct Entry {
    std::string_view key;
    std::string_view text;
};

std::span<const Entry> english();
std::span<const Entry> chinese();

} // namespace LocalizedStringTables
} // namespace lorvantine
