#include "SimDesktop/Control/SimControlPipe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace lorvantine {

namespace {

using PipeResult = Expected<std::unique_ptr<SimControlPipe>, std::string>;

PipeResult pipeRefusal(std::string message) { return Unexpected(std::move(message)); }

std::string pipeSystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

// A directory only this user (or the system) can write to: not a link, owned by us or root, and
// writable by neither group nor others.
std::optional<std::string> pipeDirectoryFault(const std::filesystem::path& directory)
{
    struct stat st {};
    if (::lstat(directory.c_str(), &st) != 0)
        return pipeSystemError("cannot use " + directory.string());
    if (S_ISLNK(st.st_mode))
        return directory.string() + " is a symbolic link";
    if (!S_ISDIR(st.st_mode))
        return directory.string() + " is not a directory";
    if ((st.st_uid != ::getuid() && st.st_uid != 0) || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return directory.string() + " can be written by other users";
    return std::nullopt;
}

// Our own private directory: made 0700 when missing; an existing one must be ours and not a link.
std::optional<std::string> pipePrivateDirectory(const std::filesystem::path& directory)
{
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
        return pipeSystemError("cannot make " + directory.string());
    struct stat st {};
    if (::lstat(directory.c_str(), &st) != 0)
        return pipeSystemError("cannot use " + directory.string());
    if (S_ISLNK(st.st_mode) || !S_ISDIR(st.st_mode))
        return directory.string() + " is not a directory of ours";
    if (st.st_uid != ::getuid())
        return directory.string() + " belongs to another user";
    if ((st.st_mode & 0777) != 0700 && ::chmod(directory.c_str(), 0700) != 0)
        return pipeSystemError("cannot make " + directory.string() + " private");
    return std::nullopt;
}

} // namespace

PipeResult SimControlPipe::open(const std::optional<std::filesystem::path>& given)
{
    std::filesystem::path target;
    std::optional<std::filesystem::path> made;
    if (given) {
        std::error_code failure;
        target = std::filesystem::absolute(*given, failure);
        if (failure || target.filename().empty())
            return pipeRefusal("the control pipe path " + given->string() + " names no file");
        if (auto fault = pipeDirectoryFault(target.parent_path()))
            return pipeRefusal("refusing the control pipe " + target.string() + ": " + *fault);
    } else {
        std::filesystem::path directory;
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime && *runtime == '/' && !pipeDirectoryFault(runtime)) {
            directory = std::filesystem::path(runtime) / "lorvantine";
            if (auto fault = pipePrivateDirectory(directory))
                return pipeRefusal("refusing the control pipe: " + *fault);
        } else {
            std::error_code failure;
            std::string pattern = (std::filesystem::temp_directory_path(failure) / "lorvantine-XXXXXX").string();
            if (failure || ::mkdtemp(pattern.data()) == nullptr)
                return pipeRefusal(pipeSystemError("cannot make a private directory for the control pipe"));
            directory = pattern;
            made = directory;
        }
        target = directory / "control";
    }

    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode))
            return pipeRefusal("refusing the control pipe " + target.string() + ": it is a symbolic link");
        if (st.st_uid != ::getuid())
            return pipeRefusal("refusing the control pipe " + target.string() + ": it belongs to another user");
        if (!S_ISFIFO(st.st_mode))
            return pipeRefusal("refusing the control pipe " + target.string() + ": a file that is not a pipe is there");
        // Someone reads a live pipe: a writer can open it without waiting.
        const int probe = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (probe >= 0) {
            ::close(probe);
            return pipeRefusal("the control pipe " + target.string() + " is already running");
        }
        if (errno != ENXIO)
            return pipeRefusal(pipeSystemError("cannot probe the control pipe " + target.string()));
        if (::unlink(target.c_str()) != 0)
            return pipeRefusal(pipeSystemError("cannot replace the stale control pipe " + target.string()));
    }
    // Made and opened under a name of its own first: the pipe appears at its path only once it
    // is read, so a writer that finds it can always open it.
    const std::filesystem::path staging = target.parent_path() / ("." + target.filename().string() + "." + std::to_string(::getpid()));
    ::unlink(staging.c_str());
    if (::mkfifo(staging.c_str(), 0600) != 0)
        return pipeRefusal(pipeSystemError("cannot make the control pipe " + target.string()));
    const int fd = ::open(staging.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const std::string message = pipeSystemError("cannot open the control pipe " + target.string());
        ::unlink(staging.c_str());
        return pipeRefusal(message);
    }
    if (::fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode) || st.st_uid != ::getuid() || ::fchmod(fd, 0600) != 0) {
        ::close(fd);
        ::unlink(staging.c_str());
        return pipeRefusal("the control pipe " + target.string() + " changed while it was made");
    }
    if (::renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
        const std::string message = pipeSystemError("cannot put the control pipe at " + target.string());
        ::close(fd);
        ::unlink(staging.c_str());
        return pipeRefusal(message);
    }
    return std::unique_ptr<SimControlPipe>(new SimControlPipe(target, fd, made));
}

int SimControlPipe::reopen()
{
    // The pipe this object made, even if its path has been replaced or removed meanwhile.
    const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
    const int fresh = ::open(self.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat mine {};
    struct stat opened {};
    if (fresh < 0 || ::fstat(m_fd, &mine) != 0 || ::fstat(fresh, &opened) != 0 || mine.st_dev != opened.st_dev
        || mine.st_ino != opened.st_ino) {
        if (fresh >= 0)
            ::close(fresh);
        return -1;
    }
    // Opened before the old one closes: a writer coming meanwhile still finds a reader.
    ::close(m_fd);
    m_fd = fresh;
    return m_fd;
}

SimControlPipe::~SimControlPipe()
{
    // Only the pipe we opened goes: a file put in its place since is someone else's business.
    struct stat mine {};
    struct stat there {};
    if (::fstat(m_fd, &mine) == 0 && ::lstat(m_path.c_str(), &there) == 0 && mine.st_dev == there.st_dev && mine.st_ino == there.st_ino)
        ::unlink(m_path.c_str());
    ::close(m_fd);
    if (m_madeDirectory)
        ::rmdir(m_madeDirectory->c_str());
}

} // namespace lorvantine
