#include <gtest/gtest.h>

#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "owneronly.h"
#include "text/encoding.h"
#include "files/filesystem.h"
#include "text/uitext.h"

namespace {

IFileSystem& fs() { return IFileSystem::Instance(); }

// A file name in the process code page with Chinese characters, in the
// current directory, removed when the test ends. The code page is part of the
// name: the runs under each code page may share the folder at the same time.
class TempFile {
public:
    explicit TempFile(const char* utf8Stem)
        : path_(UiText(utf8Stem) + "_" + std::to_string(ProcessCodePage()) + ".tmp") {
        fs().Remove(path_);
    }
    ~TempFile() { fs().Remove(path_); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::string ReadAll(const std::string& path) {
    File f = fs().Open(path, "rb");
    std::string out;
    char buf[7];
    size_t n;
    while ((n = fs().Read(f, buf, sizeof buf)) > 0) out.append(buf, n);
    return out;
}

} // namespace

TEST(FileSystem, WriteSeekTellReadAndEofOnACodePagePath) {
    TempFile tmp("檔案存取_測試");
    {
        File f = fs().Open(tmp.path(), "wb");
        ASSERT_TRUE(f.IsOpen());
        EXPECT_EQ(10u, fs().Write(f, "0123456789", 10));
        EXPECT_TRUE(fs().Flush(f));
        EXPECT_TRUE(fs().Close(f));
        EXPECT_FALSE(f.IsOpen());
    }
    File f = fs().Open(tmp.path(), "rb");
    ASSERT_TRUE(f.IsOpen());
    ASSERT_TRUE(fs().Seek(f, 0, IFileSystem::kEnd));
    EXPECT_EQ(10, fs().Tell(f));
    ASSERT_TRUE(fs().Seek(f, 3, IFileSystem::kBegin));
    char buf[16];
    EXPECT_EQ(4u, fs().Read(f, buf, 4));
    EXPECT_EQ("3456", std::string(buf, 4));
    EXPECT_EQ(7, fs().Tell(f));
    EXPECT_FALSE(fs().Eof(f));
    EXPECT_EQ(3u, fs().Read(f, buf, sizeof buf));
    EXPECT_TRUE(fs().Eof(f));
    EXPECT_FALSE(fs().Seek(f, -100, IFileSystem::kBegin));
}

TEST(FileSystem, LinesWithALimit) {
    TempFile tmp("行");
    {
        File f = fs().Open(tmp.path(), "wb");
        EXPECT_TRUE(fs().WriteLine(f, "first"));
        EXPECT_TRUE(fs().WriteLine(f, ""));
        EXPECT_TRUE(fs().WriteLine(f, "a longer line"));
    }
    File f = fs().Open(tmp.path(), "rb");
    std::string line;
    const char* expected[] = {"first\n", "\n", "a lon", "ger l", "ine\n"};
    for (const char* e : expected) {
        ASSERT_TRUE(fs().ReadLine(f, line, 5 + (e[0] == 'f' ? 1 : 0)));
        EXPECT_EQ(e, line);
    }
    EXPECT_FALSE(fs().ReadLine(f, line, 100));
    EXPECT_TRUE(line.empty());
}

TEST(FileSystem, ExclusiveCreationRemoveAndCurrentDirectory) {
    TempFile tmp("獨占");
    File first = fs().Open(tmp.path(), "wbx");
    ASSERT_TRUE(first.IsOpen());
    EXPECT_FALSE(fs().Open(tmp.path(), "wbx").IsOpen());  // exists: never shared
    EXPECT_TRUE(fs().Open(tmp.path(), "rb").IsOpen());
    first.Close();
    EXPECT_TRUE(fs().Remove(tmp.path()));
    EXPECT_FALSE(fs().Remove(tmp.path()));
    EXPECT_FALSE(fs().Open(tmp.path(), "rb").IsOpen());
    EXPECT_FALSE(fs().Open("", "rb").IsOpen());

    std::string cwd = fs().CurrentDirectory();
    EXPECT_FALSE(cwd.empty());
    EXPECT_LE(AnsiToWide(cwd).size(), 260u);
    {
        File f = fs().Open(tmp.path(), "wb");
        fs().Write(f, "x", 1);
    }
    // The relative name and the current directory joined name the same file.
    EXPECT_EQ("x", ReadAll(cwd + "/" + tmp.path()));
}

TEST(FileSystem, ReplacingAnOpenFileClosesTheOldOne) {
    TempFile a("甲"), b("乙");
    File f = fs().Open(a.path(), "wb");
    ASSERT_TRUE(f.IsOpen());
    fs().Write(f, "unflushed", 9);
    f = fs().Open(b.path(), "wb");  // closes a: its buffer reaches the file
    EXPECT_EQ("unflushed", ReadAll(a.path()));
    File moved(std::move(f));
    EXPECT_FALSE(f.IsOpen());
    EXPECT_TRUE(moved.IsOpen());
}

// A spool file holds the certificate and its password: created with the
// runtime's default mode it was readable by everyone that the folder let in
// (0644 under the usual umask, or the parent's inherited list on Windows)
// until narrowed afterwards, and on Windows never narrowed at all.
TEST(FileSystem, ExclusiveFileIsTheUsersAloneFromItsFirstMoment) {
#ifndef _WIN32
    const mode_t saved = umask(0);  // the mode must come from the creation itself
#endif
    TempFile tmp("私有");
    File f = fs().Open(tmp.path(), "wbx");
#ifndef _WIN32
    umask(saved);
#endif
    ASSERT_TRUE(f.IsOpen());
    EXPECT_EQ(3u, fs().Write(f, "abc", 3));
    EXPECT_TRUE(f.Close());
    EXPECT_EQ("abc", ReadAll(tmp.path()));
    if (!testsupport::AccessListsKept()) GTEST_SKIP() << "this system keeps no access lists (Wine)";
    EXPECT_EQ("", testsupport::NotOwnerOnly(tmp.path()));
}

