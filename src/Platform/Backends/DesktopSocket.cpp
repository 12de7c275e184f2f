#include "Platform/Backends/DesktopSocket.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace lorvantine::DesktopSocket {

namespace {

std::string systemError(const std::string& what) { return what + ": " + std::strerror(errno); }

std::optional<std::string> refusePrivateDirectory(const std::string& directory)
{
    struct stat info {};
    if (::lstat(directory.c_str(), &info) != 0)
        return systemError(directory);
    if (S_ISLNK(info.st_mode))
        return directory + " is a symbolic link";
    if (!S_ISDIR(info.st_mode))
        return directory + " is not a directory";
    if (info.st_uid != ::geteuid())
        return directory + " belongs to another user";
    return std::nullopt;
}

bool fillAddress(const std::string& path, sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

} // namespace

Expected<std::string, std::string> defaultPath()
{
    std::string directory;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        directory = std::string(runtime) + "/lorvantine";
        if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
            return Unexpected(systemError("cannot create " + directory));
    } else {
        std::string pattern = (std::filesystem::temp_directory_path() / "lorvantine-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            return Unexpected(systemError("cannot create a private directory under " + pattern));
        directory = pattern;
    }
    if (auto refused = refusePrivateDirectory(directory))
        return Unexpected(*refused);
    // An older directory of ours may have been opened up; only ours may enter it.
    int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 || ::fchmod(fd, 0700) != 0) {
        std::string error = systemError("cannot make " + directory + " private");
        if (fd >= 0)
            ::close(fd);
        return Unexpected(error);
    }
    ::close(fd);
    return directory + "/desktop.sock";
}

std::optional<std::string> refusal(const std::string& path)
{
    sockaddr_un address;
    if (!fillAddress(path, address))
        return "the socket path \"" + path + "\" is empty or too long";
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    std::string directory = parent.empty() ? "." : parent.string();
    if (auto refused = refusePrivateDirectory(directory))
        return "refusing the socket path " + path + ": " + *refused;
    struct stat info {};
    ::lstat(directory.c_str(), &info);
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        return "refusing the socket path " + path + ": others can write in " + directory;
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
        return "refusing the socket path " + path + ": it is a symbolic link";
    return std::nullopt;
}

Expected<int, std::string> connect(const std::string& path)
{
    sockaddr_un address;
    if (!fillAddress(path, address))
        return Unexpected("the socket path \"" + path + "\" is empty or too long");
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Unexpected(systemError("cannot make a socket"));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::string error = systemError("cannot connect to " + path);
        ::close(fd);
        return Unexpected(error);
    }
    return fd;
}

Expected<int, std::string> listen(const std::string& path)
{
    if (auto refused = refusal(path))
        return Unexpected(*refused);
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode))
            return Unexpected(path + " exists and is not a socket; left alone");
        if (info.st_uid != ::geteuid())
            return Unexpected(path + " belongs to another user; left alone");
        if (auto live = connect(path)) {
            ::close(live.value());
            return Unexpected("a desktop server is already running at " + path);
        }
        // Nothing answers: a server that died left it.
        if (::unlink(path.c_str()) != 0)
            return Unexpected(systemError("cannot remove the stale socket " + path));
    }
    sockaddr_un address;
    fillAddress(path, address);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Unexpected(systemError("cannot make a socket"));
    // The socket file is made 0600 from the start, never briefly open to others.
    mode_t previous = ::umask(0177);
    int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::umask(previous);
    if (bound != 0 || ::listen(fd, 64) != 0) {
        std::string error = systemError("cannot listen at " + path);
        ::close(fd);
        return Unexpected(error);
    }
    return fd;
}

std::optional<uid_t> peerUid(int fd)
{
    ucred credentials {};
    socklen_t size = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return std::nullopt;
    return credentials.uid;
}

} // namespace lorvantine::DesktopSocket
