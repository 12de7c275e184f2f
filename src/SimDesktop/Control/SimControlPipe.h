#pragma once

#include "Support/Expected.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace lorvantine {

// The named pipe of the control channel, made so that only its owner can use it: whoever can
// write to it can click, type and grant permissions on the desktop.
//
// Without a path it is "control" in "lorvantine" under the runtime directory the environment
// names (XDG_RUNTIME_DIR), else in a new private directory under the temporary directory; the
// directory is 0700 and the pipe 0600, made without following links. A path the user gives is
// refused when it is a link or lies in a directory that others can write. A pipe left there by a
// run that died is replaced when it is ours and nobody reads it; one being read is refused
// ("already running"); one of another user is never touched. The pipe (and a directory it made)
// goes when the object does.
//
// Any thread; the descriptor is read (and reopened) by one reader (SimControlInput).
class SimControlPipe {
public:
    static Expected<std::unique_ptr<SimControlPipe>, std::string> open(const std::optional<std::filesystem::path>& path);
    ~SimControlPipe();
    SimControlPipe(const SimControlPipe&) = delete;
    SimControlPipe& operator=(const SimControlPipe&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // Open for reading only (without blocking), so that reading comes to an end when every writer
    // has closed the pipe: a line one of them left unfinished ends there.
    int descriptor() const { return m_fd; }
    // After that end: a new descriptor reading the same pipe in place of the old one (closed),
    // so the next writers are heard; -1 when the pipe cannot be opened again. By its one reader.
    int reopen();

private:
    SimControlPipe(std::filesystem::path path, int fd, std::optional<std::filesystem::path> madeDirectory)
        : m_path(std::move(path)), m_fd(fd), m_madeDirectory(std::move(madeDirectory)) { }

    std::filesystem::path m_path;
    int m_fd = -1;
    std::optional<std::filesystem::path> m_madeDirectory;
};

} // namespace lorvantine
