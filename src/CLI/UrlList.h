#pragma once

#include "Support/Expected.h"

#include <string>
#include <string_view>
#include <vector>

namespace lorvantine {

class SkippedLines;

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

// The list in the file at `path` with each line that is not UTF-8 (counted at line feeds) left
// out and its number added to `notUtf8`: a byte of another encoding costs its line, not the list.
// Or why the file cannot be had: a directory, a device, or larger than an input file may be.
Expected<std::vector<std::string>, std::string> readSkippingLinesNotUtf8(const std::string& path, SkippedLines& notUtf8);

} // namespace UrlList
} // namespace lorvantine
