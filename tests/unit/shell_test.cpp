#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/commandline.h"
#include "app/copyretry.h"
#include "app/shell.h"
#include "app/updatenote.h"
#include "files/filesystem.h"

// "restart=" was taken from anywhere in the command line, with any target:
// only the text the program's own launch writes selects restart mode.
TEST(ModeSelection, RestartOnlyAsTheProgramWritesIt) {
    struct Case {
        const char* commandLine;
        const char* target;  // null: a normal start
    };
    const Case cases[] = {
        {"restart=C:\\Program Files\\Kova App\\kovaapp.exe", "C:\\Program Files\\Kova App\\kovaapp.exe"},
        {"restart=C:\\A.EXE", "C:\\A.EXE"},
        {"", nullptr},
        {"-x restart", nullptr},
        {"junk restart=C:\\a.exe", nullptr},
        {" restart=C:\\a.exe", nullptr},
        {"restart=\"C:\\a b.exe\"", nullptr},
        {"restart=C:\\x restart=C:\\y ", nullptr},
        {"restart=C:\\Windows\\evil.dll", nullptr},
        {"restart=C:\\a.exe\r\nrestart=C:\\b.exe", nullptr},
        {"restart=.exe", nullptr},
        {"restart=", nullptr},
    };
    for (const Case& c : cases) {
        std::string target = "untouched";
        EXPECT_EQ(c.target != nullptr, FindRestartTarget(c.commandLine, &target)) << c.commandLine;
        EXPECT_EQ(c.target ? std::string(c.target) : "untouched", target) << c.commandLine;
    }
}

namespace {
int g_calls;
int g_busyUntil;

platform::CopyResult BusyThenCopied(const std::string&, const std::string&) {
    return ++g_calls <= g_busyUntil ? platform::CopyResult::Busy : platform::CopyResult::Copied;
}
platform::CopyResult AlwaysBusy(const std::string&, const std::string&) {
    ++g_calls;
    return platform::CopyResult::Busy;
}
platform::CopyResult Fails(const std::string&, const std::string&) {
    ++g_calls;
    return platform::CopyResult::Failed;
}
} // namespace

TEST(RestartCopy, RetriesWhileBusyWithinTheWindowOnly) {
    CopyRetryPolicy policy;
    policy.windowMs = 400;
    policy.stepMs = 5;

    g_calls = 0;
    g_busyUntil = 3;
    EXPECT_TRUE(CopyOverWithRetry("a", "b", policy, BusyThenCopied));
    EXPECT_EQ(4, g_calls);

    g_calls = 0;
    uint32_t start = platform::TimeMs();
    EXPECT_FALSE(CopyOverWithRetry("a", "b", policy, AlwaysBusy));
    EXPECT_GE(platform::TimeMs() - start, policy.windowMs);  // it kept trying to the end of the window
    EXPECT_GT(g_calls, 2);

    g_calls = 0;
    EXPECT_FALSE(CopyOverWithRetry("a", "b", policy, Fails));  // not a lock: no retry
    EXPECT_EQ(1, g_calls);
}

namespace {
std::string g_asked;
bool RefusesFiles(const std::string& folder) {
    g_asked = folder;
    return false;
}
bool TakesFiles(const std::string& folder) {
    g_asked = folder;
    return true;
}

// A folder of this test's own, removed with what it holds.
struct ScratchFolder {
    ScratchFolder() {
        path = (std::filesystem::temp_directory_path() / ("kova shell test " + std::to_string(platform::TimeMs())))
                   .string();
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path); }
    std::string path;
};
} // namespace

// An update must be able to replace the program where it is installed; the
// tests run as a user who may write anywhere, so the decision is tested with
// the probe given, and the platform's probe on folders that can be told apart.
TEST(UpdatePlace, TheProgramsOwnFolderMustTakeNewFiles) {
    EXPECT_FALSE(ProgramFolderWritable("C:\\Program Files\\KOVA\\kovaapp.exe", RefusesFiles));
    EXPECT_EQ("C:\\Program Files\\KOVA", g_asked);
    EXPECT_TRUE(ProgramFolderWritable("D:\\kova app\\kovaapp.exe", TakesFiles));
    EXPECT_EQ("D:\\kova app", g_asked);
    g_asked.clear();
    EXPECT_FALSE(ProgramFolderWritable("kovaapp.exe", TakesFiles));  // no folder known: no update
    EXPECT_FALSE(ProgramFolderWritable("", TakesFiles));
    EXPECT_TRUE(g_asked.empty());

    ScratchFolder scratch;
    EXPECT_TRUE(ProgramFolderWritable(scratch.path + "/kovaapp.exe"));
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path)) << "the probe stayed behind";
    EXPECT_FALSE(ProgramFolderWritable(scratch.path + "/missing/kovaapp.exe"));
}

TEST(FailedUpdateNote, NamesTheVersionUntilForgotten) {
    ScratchFolder scratch;
    const std::string data = scratch.path + "/KovaApp";  // made by the write when missing
    EXPECT_EQ("", ReadFailedUpdate(data));
    ASSERT_TRUE(WriteFailedUpdate(data, "0.9.3"));
    EXPECT_EQ("0.9.3", ReadFailedUpdate(data));
    ASSERT_TRUE(WriteFailedUpdate(data, "1.10.2"));
    EXPECT_EQ("1.10.2", ReadFailedUpdate(data));
    ForgetFailedUpdate(data);
    EXPECT_EQ("", ReadFailedUpdate(data));

    // Only a version is ever written or read back.
    EXPECT_FALSE(WriteFailedUpdate(data, ""));
    EXPECT_FALSE(WriteFailedUpdate(data, "..\\x"));
    EXPECT_FALSE(WriteFailedUpdate("", "0.9.3"));
    IFileSystem& fs = IFileSystem::Instance();
    File note = fs.Open(data + "\\update-failed.txt", "wb");  // the name the program gives it
    ASSERT_TRUE(note.IsOpen());
    ASSERT_TRUE(fs.WriteLine(note, "0.9.3 and more"));
    ASSERT_TRUE(note.Close());
    EXPECT_EQ("", ReadFailedUpdate(data));
}
