// The temporary folder holds the spool files (certificate and password) and
// the downloaded update. %TEMP% may be a folder that every user can write
// (C:\Temp), so whatever stands at %TEMP%\KovaApp at start is suspect.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "app/shell.h"
#include "owneronly.h"
#include "platform/platform.h"

namespace {

namespace fsys = std::filesystem;

void SetVariable(const char* name, const std::string& value) {
#ifdef _WIN32
    SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
#else
    if (value.empty()) unsetenv(name);
    else setenv(name, value.c_str(), 1);
#endif
}

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

void Touch(const fsys::path& file) {
    std::FILE* f = std::fopen(file.string().c_str(), "wb");
    ASSERT_NE(f, nullptr) << file;
    std::fclose(f);
}

// %TEMP% and %LOCALAPPDATA% pointed into a folder of this test's own; the
// program's folder name is appended with a backslash, which on Linux is part
// of one name: `wanted` is that path either way.
class TempFolder : public ::testing::Test {
protected:
    void SetUp() override {
        savedTemp_ = Variable("TEMP");
        savedData_ = Variable("LOCALAPPDATA");
        root_ = fsys::temp_directory_path() / ("kova temp test " + std::to_string(platform::TimeMs()));
        fsys::remove_all(root_);
        fsys::create_directories(root_);
        const std::string temp = (root_ / "t").string();
        fsys::create_directories(temp);
        SetVariable("TEMP", temp);
        SetVariable("LOCALAPPDATA", (root_ / "d").string());
        wanted_ = temp + "\\KovaApp";
    }
    void TearDown() override {
        SetVariable("TEMP", savedTemp_);
        SetVariable("LOCALAPPDATA", savedData_);
        std::error_code ignored;
        fsys::permissions(root_, fsys::perms::owner_all, ignored);
        fsys::remove_all(root_, ignored);
    }
    static platform::WideString Wide(const std::string& path) { return AnsiToWide(path); }

    // What start-up prepares, checked for what every outcome must hold: a
    // real, empty folder of our own, only ours.
    std::string Prepare() {
        Shell shell;
        PrepareFolders(shell);
        const std::string& temp = shell.tempFolder;
        EXPECT_FALSE(temp.empty());
        if (temp.empty()) return temp;
        EXPECT_EQ(platform::FolderKind::Own, platform::InspectFolder(Wide(temp))) << temp;
        EXPECT_TRUE(fsys::is_empty(temp)) << temp;
        if (testsupport::AccessListsKept()) {
            EXPECT_EQ("", testsupport::NotOwnerOnly(temp)) << temp;
        }
        EXPECT_EQ(0u, temp.rfind(wanted_, 0)) << temp << " is not beside " << wanted_;
        return temp;
    }

    std::string savedTemp_, savedData_;
    fsys::path root_;
    std::string wanted_;
};

} // namespace

// The folder was made with the parent's access list: under C:\Temp other
// users could read the spool files or swap the update.
TEST_F(TempFolder, IsMadeNewAndTheUsersAlone) {
    EXPECT_EQ(wanted_, Prepare());
    fsys::create_directories(fsys::path(wanted_) / "sub");
    Touch(fsys::path(wanted_) / "sub" / "old.body");
    EXPECT_EQ(wanted_, Prepare()) << "an earlier run's folder of our own is emptied and used";
}

// A junction or link at the name was deleted through (the shell's delete
// enters it) or, removed, replaced by a folder that was then used.
TEST_F(TempFolder, ALinkAtItsNameIsNeitherFollowedNorUsed) {
    const fsys::path victim = root_ / "victim";
    fsys::create_directories(victim);
    Touch(victim / "keep.txt");
    std::error_code error;
    fsys::create_directory_symlink(victim, wanted_, error);
    if (error) GTEST_SKIP() << "no directory links here: " << error.message();
    ASSERT_EQ(platform::FolderKind::Link, platform::InspectFolder(Wide(wanted_)));

    const std::string temp = Prepare();
    EXPECT_NE(wanted_, temp);
    EXPECT_TRUE(fsys::exists(victim / "keep.txt")) << "deleted through the link";
}

// A folder that cannot be emptied (a file in it held open) stayed and was
// used as it was, with whatever someone had put in it.
TEST_F(TempFolder, OneThatCannotBeEmptiedIsNotReused) {
    fsys::create_directories(fsys::path(wanted_) / "held");
    const fsys::path planted = fsys::path(wanted_) / "held" / "kovaapp.exe";
    Touch(planted);
#ifdef _WIN32
    // The C runtime opens without FILE_SHARE_DELETE: the file cannot go.
    std::FILE* held = std::fopen(planted.string().c_str(), "rb");
    ASSERT_NE(held, nullptr);
#else
    if (geteuid() == 0) GTEST_SKIP() << "root removes whatever the modes say";
    fsys::permissions(fsys::path(wanted_) / "held", fsys::perms::owner_read | fsys::perms::owner_exec);
#endif
    const std::string temp = Prepare();
#ifdef _WIN32
    std::fclose(held);
#endif
    EXPECT_NE(wanted_, temp);
}

// Another user's folder at the name was deleted (when the rights allowed) or
// used with its owner's access list.
TEST_F(TempFolder, AnotherUsersFolderIsLeftAsItIs) {
#ifdef _WIN32
    GTEST_SKIP() << "Wine knows one user only";
#else
    if (geteuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
    fsys::create_directories(wanted_);
    Touch(fsys::path(wanted_) / "theirs.txt");
    ASSERT_EQ(0, chown(wanted_.c_str(), 65534, 65534));
    ASSERT_EQ(platform::FolderKind::OtherOwner, platform::InspectFolder(Wide(wanted_)));

    const std::string temp = Prepare();
    EXPECT_NE(wanted_, temp);
    EXPECT_TRUE(fsys::exists(fsys::path(wanted_) / "theirs.txt"));
#endif
}
