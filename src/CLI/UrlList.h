#pragma once

#include "Support/Expected.h"

#include <string>
#include <string_view>
#include <vector>

namespace lorvantine {

// The URL lists that batch highlight tests and URL validation read: one address a line.
// Stateless.
namespace UrlList {

// The lines, trimmed of spaces and tabs, in file order with duplicates; blank lines, comments
// ("#") and lines beginning with "-" are left out. A "-" line would reach `open` as an option
// of its own rather than as an address.
std::vector<std::string> parse(std::string_view text);

// The list in the file at `path`, or why it cannot be had: the file is no regular file, larger
// than an input file may be, or not UTF-8.
Expected<std::vector<std::string>, std::string> read(const std::string& path);

} // namespace UrlList
} // namespace lorvantine
