// The INI-file store: parsing, kept lines, atomic replacement, bad files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/ini_store.h"
#include "settings/settings.h"

namespace fs = std::filesystem;

namespace {

class IniStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("vantor-ini-" + std::to_string(getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        path = (dir / "vantor" / "settings.ini").string();
    }
    void TearDown() override
    {
        chmod(dir.c_str(), 0700);
        fs::remove_all(dir);
    }
    void Write(const std::string& text)
    {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    std::string Read()
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    fs::path dir;
    std::string path;
};

TEST(StoredInt, AcceptsSignedAndUnsigned32BitDecimalOnly)
{
    int32_t v = 0;
    EXPECT_TRUE(os::ParseStoredInt(" 640 ", v));
    EXPECT_EQ(v, 640);
    EXPECT_TRUE(os::ParseStoredInt("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_TRUE(os::ParseStoredInt("4294967295", v));
    EXPECT_EQ(v, -1);  // the bits of the stored word
    EXPECT_TRUE(os::ParseStoredInt("+7\r", v));
    EXPECT_EQ(v, 7);
    for (const char* bad : {"", " ", "-", "12a", "0x10", "1 2", "4294967296", "-2147483649", "99999999999999999999"})
        EXPECT_FALSE(os::ParseStoredInt(bad, v)) << bad;
}

TEST_F(IniStoreTest, MissingFileIsAnEmptyKeyAndSaveCreatesIt)
{
    os::IniStore store(path);
    Settings s;
    SetDefaultSettings(s);
    LoadSettingsFromStore(store, s, "./");
    EXPECT_EQ(s.Path, "./");
    EXPECT_FALSE(fs::exists(path));
    SaveSettingsToStore(store, s);
    const std::string text = Read();
    EXPECT_EQ(text.rfind("[Software\\Quellwork\\Vantor]\nWidth=640\nHeight=480\n", 0), 0u) << text;
    EXPECT_EQ(text.find("Path"), std::string::npos);
}

TEST_F(IniStoreTest, GarbageLinesOtherSectionsAndUnknownNamesSurviveASave)
{
    Write("; written by hand\n"
          "[Other\\Program]\nWidth=1\n\n"
          "[software\\quellwork\\vantor]\r\n"
          "garbage without equals\r\n"
          "Velocity = 130\r\n"
          "Depth=lots\r\n"
          "FutureOption=9\r\n"
          "Path=/usr/share/doc/vantor/\r\n");
    os::IniStore store(path);
    Settings s;
    SetDefaultSettings(s);
    LoadSettingsFromStore(store, s, "./");
    EXPECT_EQ(s.Velocity, 130);
    EXPECT_EQ(s.Depth, 16);  // unreadable: default
    EXPECT_EQ(s.Path, "/usr/share/doc/vantor/");

    s.Velocity = 20;
    SaveSettingsToStore(store, s);
    const std::string text = Read();
    EXPECT_NE(text.find("; written by hand"), std::string::npos);
    EXPECT_NE(text.find("[Other\\Program]\nWidth=1\n"), std::string::npos);
    EXPECT_NE(text.find("garbage without equals"), std::string::npos);
    EXPECT_NE(text.find("FutureOption=9"), std::string::npos);
    EXPECT_NE(text.find("Path=/usr/share/doc/vantor/"), std::string::npos);
    EXPECT_NE(text.find("Velocity=20"), std::string::npos);
    EXPECT_EQ(text.find("Velocity = 130"), std::string::npos);
    EXPECT_NE(text.find("Depth=16"), std::string::npos);
    // The other program's Width was not taken for ours.
    EXPECT_NE(text.find("Width=640"), std::string::npos);

    Settings back;
    SetDefaultSettings(back);
    back.Velocity = 0;
    LoadSettingsFromStore(store, back, "./");
    EXPECT_EQ(back.Velocity, 20);
}

TEST_F(IniStoreTest, WritesOfAnotherProcessBetweenOpenAndCommitAreKept)
{
    Write("[Software\\Quellwork\\Vantor]\nFPS=1\n");
    os::IniStore store(path);
    auto key = store.OpenKey(kSettingsKey);
    ASSERT_TRUE(key);
    Write("[Software\\Quellwork\\Vantor]\nFPS=1\nPath=/new/\n");
    key->SetInt("FPS", 0);
    EXPECT_TRUE(key->Commit());
    const std::string text = Read();
    EXPECT_NE(text.find("Path=/new/"), std::string::npos);
    EXPECT_NE(text.find("FPS=0"), std::string::npos);
}

TEST_F(IniStoreTest, UnwritableFolderFailsSilentlyAndLeavesTheOldFile)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    Write("[Software\\Quellwork\\Vantor]\nFPS=1\n");
    chmod(fs::path(path).parent_path().c_str(), 0500);
    os::IniStore store(path);
    Settings s;
    SetDefaultSettings(s);
    SaveSettingsToStore(store, s);
    chmod(fs::path(path).parent_path().c_str(), 0700);
    EXPECT_EQ(Read(), "[Software\\Quellwork\\Vantor]\nFPS=1\n");
}

TEST_F(IniStoreTest, SaveLeavesNoTemporaryFilesBehind)
{
    os::IniStore store(path);
    Settings s;
    SetDefaultSettings(s);
    SaveSettingsToStore(store, s);
    SaveSettingsToStore(store, s);
    int files = 0;
    for (const auto& e : fs::directory_iterator(fs::path(path).parent_path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST_F(IniStoreTest, SectionsAndNamesAreWrittenOnceWhateverTheFileHeld)
{
    auto count = [](const std::string& text, const std::string& what) {
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    os::IniStore store(path);
    Settings s;
    SetDefaultSettings(s);
    // Only the section header.
    Write("[Software\\Quellwork\\Vantor]\n");
    SaveSettingsToStore(store, s);
    SaveSettingsToStore(store, s);
    std::string text = Read();
    EXPECT_EQ(count(text, "[Software\\Quellwork\\Vantor]"), 1) << text;
    EXPECT_EQ(count(text, "Width="), 1) << text;
    EXPECT_EQ(count(text, "Height="), 1) << text;

    // Duplicate names and a second copy of the section: the last value wins,
    // is read back, and is written once; every other line stays.
    Write("[Software\\Quellwork\\Vantor]\nVelocity=10\nkeep me\nvelocity=20\n[Other]\nA=1\nA=2\n"
          "[software\\quellwork\\vantor]\nVelocity=30\nFutureOption=1\n");
    Settings loaded;
    SetDefaultSettings(loaded);
    LoadSettingsFromStore(store, loaded, "./");
    EXPECT_EQ(loaded.Velocity, 30);
    SaveSettingsToStore(store, loaded);
    text = Read();
    EXPECT_EQ(count(text, "uellwork\\"), 1) << text;
    EXPECT_EQ(count(text, "elocity="), 1) << text;
    EXPECT_NE(text.find("Velocity=30"), std::string::npos) << text;
    EXPECT_NE(text.find("keep me"), std::string::npos) << text;
    EXPECT_NE(text.find("FutureOption=1"), std::string::npos) << text;
    EXPECT_NE(text.find("[Other]\nA=2\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("A=1"), std::string::npos) << text;
}

TEST_F(IniStoreTest, StaleTemporaryFilesOfInterruptedSavesAreRemoved)
{
    // A process that has ended left its temporary file; a live one may still
    // be writing its own.
    const pid_t dead = fork();
    if (dead == 0)
        _exit(0);
    ASSERT_GT(dead, 0);
    waitpid(dead, nullptr, 0);
    Write("[Software\\Quellwork\\Vantor]\nFPS=1\n");
    const std::string stale = path + ".tmp." + std::to_string(dead);
    const std::string live = path + ".tmp." + std::to_string(getppid());
    const std::string other = path + ".tmp.notapid";
    for (const std::string& f : {stale, live, other})
        std::ofstream(f) << "partial";
    os::IniStore store(path);
    Settings s;
    SetDefaultSettings(s);
    SaveSettingsToStore(store, s);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(live));
    EXPECT_TRUE(fs::exists(other));
}

TEST_F(IniStoreTest, AFolderInPlaceOfTheFileCannotBeOpened)
{
    fs::create_directories(path);
    os::IniStore store(path);
    EXPECT_EQ(store.OpenKey(kSettingsKey), nullptr);
}

TEST(IniStorePath, FollowsXdgConfigHome)
{
    const char* old = getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(os::DefaultSettingsFilePath(), "/tmp/cfg/vantor/settings.ini");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_NE(os::DefaultSettingsFilePath().find("/.config/vantor/settings.ini"), std::string::npos);
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

} // namespace
