#include <gtest/gtest.h>

#include <string>

#include "app/commandline.h"
#include "app/copyretry.h"

TEST(ModeSelection, FirstRestartAnywhereAndEverythingAfterIt) {
    struct Case {
        const char* commandLine;
        bool restart;
        const char* target;
    };
    const Case cases[] = {
        {"", false, ""},
        {"-x restart", false, ""},
        {"restart=C:\\Program Files\\Kova App\\kovaapp.exe", true, "C:\\Program Files\\Kova App\\kovaapp.exe"},
        {"junk restart=C:\\a.exe", true, "C:\\a.exe"},
        {"restart=\"C:\\a b.exe\"", true, "\"C:\\a b.exe\""},  // quotes kept
        {"restart=C:\\x restart=C:\\y ", true, "C:\\x restart=C:\\y "},
        {"restart=", true, ""},
    };
    for (const Case& c : cases) {
        std::string target = "untouched";
        EXPECT_EQ(c.restart, FindRestartTarget(c.commandLine, &target)) << c.commandLine;
        EXPECT_EQ(c.restart ? std::string(c.target) : "untouched", target) << c.commandLine;
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
