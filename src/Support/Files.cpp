#include "Support/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lorvantine {
namespace Files {

namespace {

Unexpected<FileError> failure(std::string_view what, const std::string& path, int error)
{
    return Unexpected(FileError{std::string(what) + " " + path + ": " + std::strerror(error), error});
}

bool writeAll(int fd, std::string_view bytes, int& error)
{
    const char* data = bytes.data();
    size_t remaining = bytes.size();
    while (remaining > 0) {
        ssize_t written = ::write(fd, data, remaining);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return false;
        }
        data += written;
        remaining -= static_cast<size_t>(written);
    }
    return true;
}

void syncDirectory(const std::string& directory)
{
    int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

Expected<void, FileError> writeAtomically(const std::string& path, std::string_view bytes, Durability durability)
{
    if (path.empty() || path.back() == '/')
        return Unexpected(FileError{"cannot write \"" + path + "\": not a file path"});

    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // Stay within NAME_MAX however long the report's own name is.
    std::string temporary = directory + "/." + name.substr(0, 200) + ".XXXXXX";

    std::vector<char> buffer(temporary.begin(), temporary.end());
    buffer.push_back('\0');
    int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd < 0)
        return failure("cannot create a temporary file for", path, errno);
    temporary.assign(buffer.data());

    auto abandon = [&](std::string_view what, int error) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(temporary.c_str());
        return failure(what, path, error);
    };

    mode_t mode = 0644;
    struct stat existing;
    if (::lstat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        mode = existing.st_mode & 07777;
    if (::fchmod(fd, mode) != 0)
        return abandon("cannot set the permissions for", errno);

    int error = 0;
    if (!writeAll(fd, bytes, error))
        return abandon("cannot write", error);
    if (durability == Durability::flushed && ::fsync(fd) != 0)
        return abandon("cannot flush", errno);
    int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        return abandon("cannot write", errno);
    if (::rename(temporary.c_str(), path.c_str()) != 0)
        return abandon("cannot replace", errno);
    if (durability == Durability::flushed)
        syncDirectory(directory);
    return {};
}

Expected<int, FileError> openNoFollow(const std::string& path, int flags, mode_t mode)
{
    int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        if (errno == ELOOP)
            return Unexpected(FileError{"refusing to follow the symbolic link at " + path});
        return failure("cannot open", path, errno);
    }
    return fd;
}

Expected<void, FileError> writeNoFollow(const std::string& path, std::string_view bytes)
{
    struct stat existing;
    if (::lstat(path.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode))
        return Unexpected(FileError{"refusing to follow the symbolic link at " + path});
    return writeAtomically(path, bytes);
}

namespace {

// Writes the bytes at the end of the open file and closes it; a failed close is a failed append.
Expected<void, FileError> appendAndClose(int fd, const std::string& path, std::string_view bytes)
{
    int error = 0;
    bool written = writeAll(fd, bytes, error);
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written)
        return failure("cannot append to", path, error);
    return {};
}

} // namespace

Expected<void, FileError> append(const std::string& path, std::string_view bytes)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return failure("cannot open", path, errno);
    return appendAndClose(fd, path, bytes);
}

Expected<void, FileError> appendLine(const std::string& path, std::string_view line)
{
    int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return failure("cannot open", path, errno);
    std::string bytes;
    struct stat status {};
    char last = '\n';
    if (::fstat(fd, &status) == 0 && status.st_size > 0 && ::pread(fd, &last, 1, status.st_size - 1) == 1 && last != '\n')
        bytes += '\n';
    bytes.append(line);
    bytes += '\n';
    return appendAndClose(fd, path, bytes);
}

namespace {

// Reads on until the end of the input or until `limit` bytes are in, handing each piece over.
bool readUpTo(int fd, uint64_t limit, const std::function<void(std::string_view)>& onPiece, uint64_t& total, int& error)
{
    std::vector<char> chunk(65536);
    while (total < limit) {
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(chunk.size(), limit - total));
        ssize_t count = ::read(fd, chunk.data(), wanted);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return false;
        }
        if (count == 0)
            break;
        total += static_cast<uint64_t>(count);
        onPiece(std::string_view(chunk.data(), static_cast<size_t>(count)));
    }
    return true;
}

Expected<std::string, FileError> readAndClose(int fd, const std::string& path, uint64_t limit)
{
    std::string contents;
    uint64_t total = 0;
    int error = 0;
    const bool read = readUpTo(fd, limit, [&](std::string_view piece) { contents.append(piece); }, total, error);
    ::close(fd);
    if (!read)
        return failure("cannot read", path, error);
    return contents;
}

std::string sizeText(uint64_t bytes)
{
    const char* units[] = { "GiB", "MiB", "KiB" };
    for (int i = 0; i < 3; ++i) {
        const uint64_t unit = uint64_t(1) << (10 * (3 - i));
        if (bytes >= unit && bytes % unit == 0)
            return std::to_string(bytes / unit) + " " + units[i];
    }
    return std::to_string(bytes) + " bytes";
}

Unexpected<FileError> tooLarge(const std::string& path, uint64_t maxBytes)
{
    return Unexpected(FileError{path + " is larger than " + sizeText(maxBytes) + ", the most an input file may hold"});
}

// Opens `path` to look at what it is, without waiting: a named pipe would wait for a writer, a
// terminal or a tape for the hand that feeds it.
Expected<int, FileError> openToLook(const std::string& path, struct stat& status)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return failure("cannot open", path, errno);
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        return failure("cannot read", path, error);
    }
    return fd;
}

// Anything but a regular file is refused: a pipe or a device read from an offset could wait for
// ever or never end.
Expected<int, FileError> openRegularFile(const std::string& path, struct stat& status)
{
    auto fd = openToLook(path, status);
    if (fd && !S_ISREG(status.st_mode)) {
        ::close(*fd);
        return Unexpected(FileError{path + " is not a regular file"});
    }
    return fd;
}

// An input of the command line, open for reading: a regular file or a pipe.
struct Input {
    int fd = -1;
    // The size a regular file says it has; none for a pipe.
    std::optional<uint64_t> statedSize;
};

// An opened regular file as an input, refused (and closed) when it says it holds more than
// `maxBytes`.
Expected<Input, FileError> regularInput(int fd, const struct stat& status, const std::string& path, uint64_t maxBytes)
{
    const auto size = static_cast<uint64_t>(status.st_size);
    if (size > maxBytes) {
        ::close(fd);
        return tooLarge(path, maxBytes);
    }
    return Input { fd, size };
}

// Looks first, then refuses what is no file to read whole: a directory, a device that could be
// read for ever (/dev/zero) or wait on a person, or a file that says it holds more than `maxBytes`.
Expected<Input, FileError> openInput(const std::string& path, uint64_t maxBytes)
{
    struct stat status {};
    auto looked = openToLook(path, status);
    if (!looked)
        return Unexpected(looked.error());
    if (S_ISREG(status.st_mode))
        return regularInput(*looked, status, path, maxBytes);
    ::close(*looked);
    if (S_ISDIR(status.st_mode))
        return Unexpected(FileError{path + " is a directory, not a file"});
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode))
        return Unexpected(FileError{path + " is a device, not a file"});
    if (!S_ISFIFO(status.st_mode))
        return Unexpected(FileError{path + " is neither a file nor a pipe"});

    // Opened again to be read as a pipe is: waiting for what its writer sends, and for a writer
    // when a named pipe has none yet. A pipe whose writer is gone still gives what it holds.
    const dev_t device = status.st_dev;
    const ino_t inode = status.st_ino;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return failure("cannot open", path, errno);
    if (::fstat(fd, &status) != 0 || !S_ISFIFO(status.st_mode) || status.st_dev != device || status.st_ino != inode) {
        ::close(fd);
        return Unexpected(FileError{path + " changed while it was opened"});
    }
    return Input { fd, std::nullopt };
}

// Reads `input` to its end in pieces, handing each to `onPiece`, and closes it. Reading stops one
// byte past `maxBytes`, which tells an input that holds more than the limit whatever it said of
// its size; the caller then drops what it was handed.
Expected<void, FileError> readPieces(Input input, const std::string& path, uint64_t maxBytes,
                                     const std::function<void(std::string_view)>& onPiece)
{
    uint64_t total = 0;
    int error = 0;
    const bool read = readUpTo(input.fd, maxBytes == UINT64_MAX ? maxBytes : maxBytes + 1, onPiece, total, error);
    ::close(input.fd);
    if (!read)
        return failure("cannot read", path, error);
    if (total > maxBytes)
        return tooLarge(path, maxBytes);
    return {};
}

} // namespace

Expected<std::string, FileError> readAll(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return failure("cannot open", path, errno);
    return readAndClose(fd, path, UINT64_MAX);
}

// What an opened input holds, whole, within `maxBytes`.
Expected<std::string, FileError> readWhole(Expected<Input, FileError> input, const std::string& path, uint64_t maxBytes)
{
    if (!input)
        return Unexpected(input.error());
    std::string contents;
    if (input->statedSize)
        contents.reserve(static_cast<size_t>(*input->statedSize));
    auto read = readPieces(*input, path, maxBytes, [&](std::string_view piece) { contents.append(piece); });
    if (!read)
        return Unexpected(read.error());
    return contents;
}

Expected<std::string, FileError> readInputFile(const std::string& path, uint64_t maxBytes)
{
    return readWhole(openInput(path, maxBytes), path, maxBytes);
}

Expected<void, FileError> readInputLines(const std::string& path,
                                         const std::function<void(std::optional<std::string_view> line)>& onLine,
                                         uint64_t maxBytes, uint64_t maxLineBytes)
{
    auto input = openInput(path, maxBytes);
    if (!input)
        return Unexpected(input.error());
    // The start of a line that runs on past the piece it began in, while it is within the bound.
    std::string partial;
    // The bytes of the current line so far, held or not.
    uint64_t length = 0;
    auto take = [&](std::string_view part, bool ends) {
        length += part.size();
        if (length > maxLineBytes)
            partial.clear();
        else if (ends && partial.empty())
            onLine(part);
        else
            partial.append(part);
        if (!ends)
            return;
        if (length > maxLineBytes)
            onLine(std::nullopt);
        else if (!partial.empty())
            onLine(partial);
        partial.clear();
        length = 0;
    };
    auto read = readPieces(*input, path, maxBytes, [&](std::string_view piece) {
        for (size_t end; (end = piece.find('\n')) != std::string_view::npos; piece.remove_prefix(end + 1))
            take(piece.substr(0, end), true);
        take(piece, false);
    });
    if (!read)
        return read;
    if (length > 0)
        take({}, true);
    return {};
}

Expected<std::string, FileError> readRegularFile(const std::string& path, uint64_t maxBytes)
{
    struct stat status {};
    auto fd = openRegularFile(path, status);
    if (!fd)
        return Unexpected(fd.error());
    return readWhole(regularInput(*fd, status, path, maxBytes), path, maxBytes);
}

Expected<std::string, FileError> readInputFileFrom(const std::string& path, uint64_t offset, uint64_t maxBytes)
{
    struct stat status {};
    auto fd = openRegularFile(path, status);
    if (!fd)
        return Unexpected(fd.error());
    const bool seekable = offset <= static_cast<uint64_t>(std::numeric_limits<off_t>::max());
    if (!seekable || ::lseek(*fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        const int error = seekable ? errno : EINVAL;
        ::close(*fd);
        return failure("cannot read", path, error);
    }
    return readAndClose(*fd, path, maxBytes);
}

Expected<std::string, FileError> makePrivateTemporaryFile(std::string_view prefix, std::string_view suffix)
{
    if (prefix.find('/') != std::string_view::npos || suffix.find('/') != std::string_view::npos)
        return Unexpected(FileError{"a temporary file name cannot contain \"/\""});
    const char* environment = std::getenv("TMPDIR");
    std::string directory = environment && *environment ? environment : "/tmp";
    if (directory.size() > 1 && directory.back() == '/')
        directory.pop_back();

    std::string pattern = directory + "/" + std::string(prefix) + "XXXXXX" + std::string(suffix);
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    int fd = ::mkostemps(buffer.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
    if (fd < 0)
        return failure("cannot create a temporary file in", directory, errno);
    ::fchmod(fd, 0600);
    ::close(fd);
    return std::string(buffer.data());
}

} // namespace Files
} // namespace lorvantine
