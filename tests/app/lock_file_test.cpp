// The single-instance lock file: where it lives and what it refuses.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/sdl/lock_file.h"

namespace fs = std::filesystem;

namespace {

class LockFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vantor-lock-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        Save("XDG_RUNTIME_DIR", runtime_);
        Save("XDG_CACHE_HOME", cache_);
    }
    void TearDown() override
    {
        Restore("XDG_RUNTIME_DIR", runtime_);
        Restore("XDG_CACHE_HOME", cache_);
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    std::string Folder(const std::string& name, fs::perms perms)
    {
        const std::string path = root + "/" + name;
        fs::create_directory(path);
        fs::permissions(path, perms);
        return path;
    }
    static void Save(const char* name, std::pair<bool, std::string>& slot)
    {
        const char* v = std::getenv(name);
        slot = {v != nullptr, v ? v : ""};
    }
    static void Restore(const char* name, const std::pair<bool, std::string>& slot)
    {
        if (slot.first)
            setenv(name, slot.second.c_str(), 1);
        else
            unsetenv(name);
    }
    std::string root;
    std::pair<bool, std::string> runtime_, cache_;
};

TEST_F(LockFileTest, RuntimeFolderFirstAndASecondHolderIsRefused)
{
    const std::string run = Folder("run", fs::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
    ASSERT_EQ(os::LockFolder(), run);
    const int a = os::OpenLockFile(run, "Vantor");
    ASSERT_GE(a, 0);
    EXPECT_EQ(flock(a, LOCK_EX | LOCK_NB), 0);
    struct stat st{};
    ASSERT_EQ(stat((run + "/Vantor.lock").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const int b = os::OpenLockFile(run, "Vantor");
    ASSERT_GE(b, 0);
    EXPECT_NE(flock(b, LOCK_EX | LOCK_NB), 0);
    close(b);
    close(a);
}

TEST_F(LockFileTest, AnOpenRuntimeFolderGivesWayToAPrivateOneInTheCache)
{
    const std::string shared = Folder("shared", fs::perms::all);
    const std::string cache = Folder("cache", fs::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", shared.c_str(), 1);
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    EXPECT_EQ(os::LockFolder(), cache + "/vantor");
    EXPECT_EQ(fs::status(cache + "/vantor").permissions() & fs::perms::all, fs::perms::owner_all);
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(os::LockFolder(), cache + "/vantor");
    // Someone widened our folder: it is no longer trusted.
    fs::permissions(cache + "/vantor", fs::perms::all);
    std::string why;
    EXPECT_EQ(os::LockFolder(&why), "");
    EXPECT_NE(why.find("others may write"), std::string::npos) << why;
}

TEST_F(LockFileTest, PlantedLinksFifosAndOpenFilesAreRefused)
{
    const std::string dir = Folder("dir", fs::perms::owner_all);
    const std::string victim = root + "/victim";
    std::ofstream(victim) << "keep";
    // A link to another file: neither followed nor the file touched.
    fs::create_symlink(victim, dir + "/link.lock");
    std::string why;
    EXPECT_EQ(os::OpenLockFile(dir, "link", &why), -1);
    EXPECT_FALSE(why.empty());
    // A dangling link would otherwise create its target.
    fs::create_symlink(root + "/created", dir + "/dangling.lock");
    EXPECT_EQ(os::OpenLockFile(dir, "dangling"), -1);
    EXPECT_FALSE(fs::exists(root + "/created"));
    // A FIFO would block a plain open for ever.
    ASSERT_EQ(mkfifo((dir + "/fifo.lock").c_str(), 0600), 0);
    EXPECT_EQ(os::OpenLockFile(dir, "fifo", &why), -1);
    EXPECT_NE(why.find("regular"), std::string::npos) << why;
    // A file others may write, or one with a second name.
    std::ofstream(dir + "/open.lock");
    fs::permissions(dir + "/open.lock", fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_write);
    EXPECT_EQ(os::OpenLockFile(dir, "open"), -1);
    fs::create_hard_link(victim, dir + "/hard.lock");
    EXPECT_EQ(os::OpenLockFile(dir, "hard"), -1);
    std::ifstream in(victim);
    std::string text;
    in >> text;
    EXPECT_EQ(text, "keep");
    // A lock file of another user, where the test may make one.
    if (geteuid() == 0) {
        std::ofstream(dir + "/theirs.lock");
        ASSERT_EQ(chown((dir + "/theirs.lock").c_str(), 12345, 12345), 0);
        EXPECT_EQ(os::OpenLockFile(dir, "theirs", &why), -1);
        EXPECT_NE(why.find("another user"), std::string::npos) << why;
    }
}

} // namespace
