#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

#include "Support/Expected.h"

namespace lorvantine {

struct FileError {
    std::string message; // names the path and the reason
    int error = 0;       // the system's error number, where the system gave one
};

// File writing that never leaves a half-written report behind and never follows a planted
// symbolic link at a fixed path in /tmp. Nothing here throws.
namespace Files {

// Whether a write waits until the bytes are on the disk. Unflushed writes are still atomic for
// readers but may be lost in a power cut; they suit scratch files that are thrown away.
enum class Durability { flushed, unflushed };

// Writes `bytes` to a temporary in the same directory, flushes it to disk and renames it over
// `path`. On failure the old file is untouched and the temporary is gone. An existing file's
// permissions are kept; a new file gets 0644.
Expected<void, FileError> writeAtomically(const std::string& path, std::string_view bytes,
                                          Durability durability = Durability::flushed);

// open(2) with O_NOFOLLOW | O_CLOEXEC added: a symbolic link at `path` is refused. The caller
// owns and closes the descriptor.
Expected<int, FileError> openNoFollow(const std::string& path, int flags, mode_t mode = 0644);

// Replaces `path` atomically (as writeAtomically) but refuses when `path` is a symbolic link.
// The rename replaces whatever is at `path` itself, so a link planted meanwhile is never followed.
Expected<void, FileError> writeNoFollow(const std::string& path, std::string_view bytes);

// Appends `bytes` to `path`, creating it (0644) when missing.
Expected<void, FileError> append(const std::string& path, std::string_view bytes);

// Appends `line` and a line feed to `path`, creating it (0644) when missing. When the file does
// not end with a line feed (an append cut short), one goes first, so the line stands on its own.
Expected<void, FileError> appendLine(const std::string& path, std::string_view line);

Expected<std::string, FileError> readAll(const std::string& path);

// The most an input file of the command line may hold (results files, URL lists, configurations,
// fixtures): a results line takes about 1.2 KB per paragraph tested, so 1 GiB is some 850,000
// paragraphs, far beyond any real run, yet it can be held in memory.
inline constexpr uint64_t maxInputFileBytes = uint64_t(1) << 30;

// Reads an input file whole: a regular file or a pipe (standard input handed over as
// /dev/stdin, a process substitution, a named pipe, which is waited on until a writer opens it).
// A directory or a device is refused at once, without reading it. Reading stops at `maxBytes`:
// an input that holds more (a file beyond the limit, one that grew since it was looked at or
// says it is empty as those under /proc do, a pipe that goes on) is refused, and the error
// names the limit.
Expected<std::string, FileError> readInputFile(const std::string& path, uint64_t maxBytes = maxInputFileBytes);

// The same input handed over a line at a time, so that memory holds a line rather than the
// whole input: each line without its line feed, in order, the last one also when no line feed
// ends it. A line of more than `maxLineBytes` is never held: it is handed over as none, in its
// place, once its end has been read past. The same refusals, with one difference: when the input
// turns out to hold more than `maxBytes`, the lines before the limit have been handed over already.
Expected<void, FileError> readInputLines(const std::string& path,
                                         const std::function<void(std::optional<std::string_view> line)>& onLine,
                                         uint64_t maxBytes = maxInputFileBytes, uint64_t maxLineBytes = UINT64_MAX);

// A regular file whole, looked at and read through one descriptor opened without waiting, so that
// a pipe or a device (or one put in the file's place) is refused at once and never read; so is a
// file of more than `maxBytes`, or one that turns out to hold more.
Expected<std::string, FileError> readRegularFile(const std::string& path, uint64_t maxBytes);

// What a regular file holds from byte `offset` on, at most `maxBytes` of it (the start of what
// was added to a growing log). Anything but a regular file is refused.
Expected<std::string, FileError> readInputFileFrom(const std::string& path, uint64_t offset, uint64_t maxBytes);

// Creates an empty file named prefix + random + suffix in $TMPDIR (or /tmp when unset), readable
// and writable by the owner only, and returns its path.
Expected<std::string, FileError> makePrivateTemporaryFile(std::string_view prefix, std::string_view suffix);

} // namespace Files
} // namespace lorvantine
