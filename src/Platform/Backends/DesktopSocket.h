#pragma once

#include "Support/Expected.h"

#include <optional>
#include <string>
#include <sys/types.h>

// Where the shared desktop's socket lives and who may use it. Whoever can open the socket can
// click, type, read the pasteboard and grant permissions on the desktop, so it lives in a
// directory only its user can enter (0700), is itself 0600, and a path that others could swap
// (a directory they can write, a symbolic link) is refused. Stateless; any thread.
namespace lorvantine::DesktopSocket {

// Names the socket for the server and its clients.
inline constexpr const char* environmentVariable = "LORVANTINE_DESKTOP_SOCKET";

// "<runtime dir>/lorvantine/desktop.sock" (XDG_RUNTIME_DIR), else the same in a new private
// directory under the temporary directory. Creates the directory 0700.
Expected<std::string, std::string> defaultPath();

// Why `path` is not a safe place for the socket (its directory is a link, not ours, or writable
// by others; the path is a link); none when it is.
std::optional<std::string> refusal(const std::string& path);

// Listens at `path` (0600, after `refusal`). A socket file of ours that nothing answers on is a
// dead server's and is replaced; a live one is refused "already running"; anything else there,
// or a file of another user, is refused and left alone.
Expected<int, std::string> listen(const std::string& path);
Expected<int, std::string> connect(const std::string& path);

// The user id of the process at the other end of a connected socket.
std::optional<uid_t> peerUid(int fd);

} // namespace lorvantine::DesktopSocket
