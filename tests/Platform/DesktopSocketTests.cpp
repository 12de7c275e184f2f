#include "Platform/Backends/DesktopSocket.h"

#include "TestSupport/ScopedEnvironment.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace lorvantine {
namespace {

using test::ScratchDirectory;
namespace fs = std::filesystem;

mode_t socketTestMode(const fs::path& path)
{
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// A socket file with nothing behind it, as a server that was killed leaves it.
void leaveStaleSocket(const fs::path& path)
{
    auto fd = DesktopSocket::listen(path.string());
    ASSERT_TRUE(fd) << fd.error();
    ::close(fd.value());
    ASSERT_TRUE(fs::exists(fs::symlink_status(path)));
}

TEST(DesktopSocketTest, PathsOthersCouldSwapAreRefused)
{
    ScratchDirectory scratch;
    fs::create_directory(scratch / "open");
    fs::permissions(scratch / "open", fs::perms::all);
    fs::create_directory(scratch / "group");
    fs::permissions(scratch / "group", fs::perms::owner_all | fs::perms::group_all);
    fs::create_directory(scratch / "private");
    fs::permissions(scratch / "private", fs::perms::owner_all);
    fs::create_directory_symlink(scratch / "private", scratch / "linked");
    fs::create_symlink(scratch / "private" / "elsewhere.sock", scratch / "private" / "link.sock");

    struct Case {
        fs::path path;
        const char* reason; // none: accepted
    };
    const Case cases[] = {
        { scratch / "open" / "d.sock", "others can write in" },
        { scratch / "group" / "d.sock", "others can write in" },
        { scratch / "linked" / "d.sock", "is a symbolic link" },
        { scratch / "private" / "link.sock", "it is a symbolic link" },
        { scratch / "missing" / "d.sock", "No such file" },
        { scratch / "private" / std::string(120, 'x'), "too long" },
        { scratch / "private" / "d.sock", nullptr },
    };
    for (const Case& c : cases) {
        auto refusal = DesktopSocket::refusal(c.path.string());
        if (!c.reason) {
            EXPECT_FALSE(refusal) << *refusal;
            continue;
        }
        ASSERT_TRUE(refusal) << c.path;
        EXPECT_NE(refusal->find(c.reason), std::string::npos) << *refusal;
        auto listened = DesktopSocket::listen(c.path.string());
        EXPECT_FALSE(listened) << c.path;
    }
    // The link's target was never made.
    EXPECT_FALSE(fs::exists(scratch / "private" / "elsewhere.sock"));
}

TEST(DesktopSocketTest, TheSocketIsTheUsersAloneInAPrivateDirectory)
{
    ScratchDirectory scratch;
    {
        test::ScopedEnvironment runtime("XDG_RUNTIME_DIR", scratch.path().string());
        // An older directory of ours that was opened up is made private again.
        fs::create_directory(scratch / "lorvantine");
        fs::permissions(scratch / "lorvantine", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
        auto path = DesktopSocket::defaultPath();
        ASSERT_TRUE(path) << path.error();
        EXPECT_EQ(path.value(), (scratch / "lorvantine" / "desktop.sock").string());
        EXPECT_EQ(socketTestMode(scratch / "lorvantine"), 0700u);
        auto fd = DesktopSocket::listen(path.value());
        ASSERT_TRUE(fd) << fd.error();
        EXPECT_EQ(socketTestMode(path.value()), 0600u);
        ::close(fd.value());
    }
    {
        test::ScopedEnvironment runtime("XDG_RUNTIME_DIR", std::nullopt);
        test::ScopedEnvironment temporary("TMPDIR", scratch.path().string());
        auto path = DesktopSocket::defaultPath();
        ASSERT_TRUE(path) << path.error();
        fs::path directory = fs::path(path.value()).parent_path();
        EXPECT_EQ(directory.parent_path(), scratch.path());
        EXPECT_EQ(socketTestMode(directory), 0700u);
    }
}

TEST(DesktopSocketTest, AStaleSocketIsReplacedALiveOneRefused)
{
    ScratchDirectory scratch;
    const fs::path path = scratch / "desktop.sock";
    leaveStaleSocket(path);
    auto live = DesktopSocket::listen(path.string());
    ASSERT_TRUE(live) << live.error();

    auto second = DesktopSocket::listen(path.string());
    ASSERT_FALSE(second);
    EXPECT_NE(second.error().find("already running"), std::string::npos) << second.error();
    // The running one still takes connections.
    auto client = DesktopSocket::connect(path.string());
    ASSERT_TRUE(client) << client.error();
    EXPECT_EQ(DesktopSocket::peerUid(client.value()), ::geteuid());
    ::close(client.value());
    ::close(live.value());
    ::unlink(path.c_str());

    // Something that is not a socket is left as it is.
    test::writeFile(path, "notes");
    auto overFile = DesktopSocket::listen(path.string());
    ASSERT_FALSE(overFile);
    EXPECT_NE(overFile.error().find("not a socket"), std::string::npos);
    EXPECT_EQ(test::readFile(path), "notes");
}

TEST(DesktopSocketTest, AnotherUsersSocketIsNeverTouched)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs to give a file to another user";
    ScratchDirectory scratch;
    const fs::path path = scratch / "desktop.sock";
    leaveStaleSocket(path);
    ASSERT_EQ(::lchown(path.c_str(), 4321, 4321), 0);
    auto refused = DesktopSocket::listen(path.string());
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().find("belongs to another user"), std::string::npos);
    struct stat info {};
    ASSERT_EQ(::lstat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 4321u);
}

} // namespace
} // namespace lorvantine
