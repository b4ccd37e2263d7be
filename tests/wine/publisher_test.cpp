// Who may update the program: Authenticode through WinVerifyTrust, the signer
// key compared with the publisher's, and a file held so nobody can change it
// between the check and the start. Run by publisher_wine.sh on the signed
// next program and the ways it can arrive otherwise (update_variants.sh).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/publisher.h"
#include "env.h"
#include "platform/authenticode.h"
#include "platform/platform.h"

namespace {

using testsupport::Env;

platform::KeyDigest Key(const std::string& hex) {
    std::vector<platform::KeyDigest> keys;
    EXPECT_TRUE(ParseKeyList(hex, &keys)) << hex;
    return keys.empty() ? platform::KeyDigest() : keys[0];
}

std::string Variant(const char* name) { return Env("KOVA_VARIANTS") + "\\" + name; }

TEST(PublisherKeys, ListsOfHexKeysOnly) {
    const std::string a(64, 'a'), b = "0123456789ABCDEFabcdef" + std::string(42, '0');
    std::vector<platform::KeyDigest> keys;
    EXPECT_TRUE(ParseKeyList("", &keys));
    EXPECT_TRUE(keys.empty());
    EXPECT_TRUE(ParseKeyList(a + ";" + b + ";", &keys));
    ASSERT_EQ(2u, keys.size());
    EXPECT_EQ(0xAA, keys[0][31]);
    EXPECT_EQ(0x01, keys[1][0]);
    EXPECT_EQ(0xEF, keys[1][10]);
    for (const std::string& bad : {a.substr(1), a + "0", "g" + a.substr(1), a + ";;" + b, a + " "}) {
        keys.assign(3, platform::KeyDigest());
        EXPECT_FALSE(ParseKeyList(bad, &keys)) << bad;
        EXPECT_EQ(3u, keys.size()) << "a refused list changed the keys";
    }
}

// This test program is signed by the test publisher like the real one, and
// built naming the other key as a further publisher key.
TEST(PublisherKeys, TheProgramsOwnSignerFirstThenTheNamedOnes) {
    platform::KeyDigest own;
    ASSERT_TRUE(platform::ModuleSignerKey(&own)) << "the test program is not signed";
    EXPECT_EQ(Key(Env("KOVA_TEST_PUBLISHER_KEY")), own);
    const std::vector<platform::KeyDigest> accepted = AcceptedPublisherKeys();
    ASSERT_EQ(2u, accepted.size());
    EXPECT_EQ(own, accepted[0]);
    EXPECT_EQ(Key(Env("KOVA_TEST_OTHER_KEY")), accepted[1]);
}

TEST(FileSignature, OnlyAWholeUnchangedSignedFileVerifies) {
    const platform::KeyDigest publisher = Key(Env("KOVA_TEST_PUBLISHER_KEY"));
    const platform::KeyDigest other = Key(Env("KOVA_TEST_OTHER_KEY"));
    const struct {
        const char* file;
        bool verifies;
        const platform::KeyDigest* signer;
    } cases[] = {
        {"signed.exe", true, &publisher},
        {"checksum.exe", true, &publisher},  // the CheckSum field is outside the signed hash
        {"otherkey.exe", true, &other},      // a chain to the trusted root: only the key tells
        {"unsigned.exe", false, nullptr},
        {"tampered.exe", false, nullptr},
        {"appended.exe", false, nullptr},
        {"truncated.exe", false, nullptr},
        {"missing.exe", false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        platform::ReadLockedFile file;
        const bool opened = file.Open(Variant(c.file));
        platform::KeyDigest signer = {};
        EXPECT_EQ(c.verifies, opened && platform::VerifyFileSignature(file, Variant(c.file), &signer));
        if (c.signer) {
            EXPECT_EQ(*c.signer, signer);
        }
    }
}

TEST(FileSignature, TheProgramAcceptsItsOwnPublisherAndTheNamedKeyOnly) {
    EXPECT_TRUE(IsUpdateFromOurPublisher(Variant("signed.exe")));
    EXPECT_TRUE(IsUpdateFromOurPublisher(Variant("checksum.exe")));
    EXPECT_TRUE(IsUpdateFromOurPublisher(Variant("otherkey.exe")));  // named at build time
    for (const char* refused : {"unsigned.exe", "tampered.exe", "appended.exe", "truncated.exe"})
        EXPECT_FALSE(IsUpdateFromOurPublisher(Variant(refused))) << refused;
    EXPECT_FALSE(IsAcceptedKey(Key(Env("KOVA_TEST_OTHER_KEY")), {Key(Env("KOVA_TEST_PUBLISHER_KEY"))}));
}

TEST(ReadLockedFile, NobodyWritesRenamesOrDeletesAHeldFile) {
    const std::string path = Variant("held.exe");
    ASSERT_TRUE(CopyFileA(Variant("signed.exe").c_str(), path.c_str(), FALSE));
    {
        platform::ReadLockedFile held;
        ASSERT_TRUE(held.Open(path));
        HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
        if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
        EXPECT_FALSE(MoveFileExA(path.c_str(), (path + ".moved").c_str(), 0));
        EXPECT_FALSE(DeleteFileA(path.c_str()));
        EXPECT_FALSE(CopyFileA(Variant("unsigned.exe").c_str(), path.c_str(), FALSE));
        // Reading, as a starting process does, is allowed.
        HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, reader);
        if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
        platform::KeyDigest signer;
        EXPECT_TRUE(platform::VerifyFileSignature(held, path, &signer)) << "checked through the held handle";
        // Moving keeps it held; the moved-from object holds nothing.
        platform::ReadLockedFile moved = std::move(held);
        EXPECT_FALSE(held.IsOpen());
        EXPECT_FALSE(DeleteFileA(path.c_str()));
    }
    EXPECT_TRUE(DeleteFileA(path.c_str())) << "closing let the file go";
}

// The copy of restart mode: never a part of the new file at the target, and
// nothing left beside it.
TEST(InstallCopy, ReplacesInOneStepOrLeavesTheOldFile) {
    const std::string target = Variant("installed.exe"), staged = target + ".new";
    ASSERT_TRUE(CopyFileA(Variant("unsigned.exe").c_str(), target.c_str(), FALSE));
    {
        // Held open, as by the exiting old program: busy, and the old file stays.
        platform::ReadLockedFile held;
        ASSERT_TRUE(held.Open(target));
        EXPECT_EQ(platform::CopyResult::Busy, platform::CopyFileOver(Variant("signed.exe"), target));
    }
    EXPECT_TRUE(IsUpdateFromOurPublisher(Variant("signed.exe")));
    EXPECT_FALSE(IsUpdateFromOurPublisher(target)) << "the old (unsigned) file was changed";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(staged.c_str()));

    EXPECT_EQ(platform::CopyResult::Copied, platform::CopyFileOver(Variant("signed.exe"), target));
    EXPECT_TRUE(IsUpdateFromOurPublisher(target));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(staged.c_str()));
    EXPECT_EQ(platform::CopyResult::Failed, platform::CopyFileOver(Variant("no such file.exe"), target));
    EXPECT_TRUE(IsUpdateFromOurPublisher(target));
    DeleteFileA(target.c_str());
}

} // namespace
