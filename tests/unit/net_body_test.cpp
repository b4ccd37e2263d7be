// The body encoder byte for byte, the spool files and the text escapes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "files/filesystem.h"
#include "net/bodyencoding.h"
#include "net/httprequest.h"
#include "net/spoolfile.h"
#include "platform/platform.h"

namespace {

IFileSystem& fs() { return IFileSystem::Instance(); }

std::string ReadAll(const std::string& path) {
    File f = fs().Open(path, "rb");
    std::string out;
    char buf[4096];
    size_t n;
    while (f.IsOpen() && (n = fs().Read(f, buf, sizeof buf)) > 0) out.append(buf, n);
    return out;
}

bool Exists(const std::string& path) { return fs().Open(path, "rb").IsOpen(); }

void WriteFile(const std::string& path, const std::string& content) {
    File f = fs().Open(path, "wb");
    ASSERT_TRUE(f.IsOpen()) << path;
    ASSERT_EQ(fs().Write(f, content.data(), content.size()), content.size());
}

std::string Body(HTTPRequest& r) {
    const std::vector<char>& b = r.GetBody();
    return r.GetSpoolPath().empty() ? std::string(b.begin(), b.end()) : ReadAll(r.GetSpoolPath());
}

// The boundary the request's Content-Type names.
std::string BoundaryOf(HTTPRequest& r) {
    const std::string type = r.GetContentType();
    const size_t at = type.find("; boundary=");
    return at == std::string::npos ? std::string() : type.substr(at + 11);
}

// The parts between the body's delimiter lines, as a receiver finds them.
std::vector<std::string> PartsOf(const std::string& body, const std::string& boundary) {
    std::vector<std::string> parts;
    const std::string delimiter = "\r\n--" + boundary;
    size_t at = ("\r\n" + body).find(delimiter);
    if (at != 0) return parts;  // the body must open with its first delimiter
    at = 2 + boundary.size();
    while (body.compare(at, 2, "--") != 0) {
        const size_t next = body.find(delimiter, at);
        if (next == std::string::npos) break;
        parts.push_back(body.substr(at + 2, next - at - 2));  // after the delimiter's CR LF
        at = next + delimiter.size();
    }
    return parts;
}

// A spool folder of the test's own, emptied before and after.
class SpoolFolder : public ::testing::Test {
protected:
    void SetUp() override {
        platform::DeleteFolderTree(kWide);
        ASSERT_TRUE(platform::CreateFolder(kWide));
        HTTPRequest::SetSpoolFolder(kFolder);
        WriteFile(kCert, "PFX\x01\x02");
    }
    void TearDown() override {
        HTTPRequest::SetSpoolFolder("");
        platform::DeleteFolderTree(kWide);
    }
    const std::string kFolder = "net_spool_test";
    const platform::WideString kWide = u"net_spool_test";
    const std::string kCert = "net_spool_test/cert.pfx";
};

} // namespace

TEST(UrlEncoding, BytesAsStoredSpacesAsPlus) {
    struct Case {
        const char* in;
        const char* plus;
        const char* percent;
    } cases[] = {
        {"a b&c", "a+b%26c", "a%20b%26c"},
        {"AZaz09-_.~", "AZaz09-_.~", "AZaz09-_.~"},
        {"\xC3\xA9", "%C3%A9", "%C3%A9"},
        {"=+/?%\"", "%3D%2B%2F%3F%25%22", "%3D%2B%2F%3F%25%22"},
        {"\r\n\x7F", "%0D%0A%7F", "%0D%0A%7F"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(net::UrlEncode(c.in), c.plus) << c.in;
        EXPECT_EQ(net::UrlEncode(c.in, true), c.percent) << c.in;
    }
}

TEST(Escapes, QuoteBreakAndControlBytesCannotEscapeTheirPlace) {
    EXPECT_EQ(net::QuoteSafe("a\"b\r\nc.pfx"), "a%22b%0D%0Ac.pfx");
    EXPECT_EQ(net::QuoteSafe("\xE6\x86\x91 x"), "\xE6\x86\x91 x");
    EXPECT_EQ(net::JsonEscape("q\"b\\s/\n\r\t\x01\xC3\xA9"), "q\\\"b\\\\s/\\n\\r\\t\\u0001\xC3\xA9");
}

TEST(UrlEncodedBody, FieldsInOrderNoContentLength) {
    HTTPRequest r("http://h/x");
    r.AddField("text", "a b&c", false);
    r.AddField("ipaddr", "1.2.3.4", false);
    EXPECT_EQ(Body(r), "text=a+b%26c&ipaddr=1.2.3.4");
    EXPECT_EQ(r.GetContentType(), "application/x-www-form-urlencoded; charset=UTF-8");
    EXPECT_EQ(r.GetExtraHeaders(), "");

    HTTPRequest empty("http://h/x");
    EXPECT_EQ(Body(empty), "");
    EXPECT_EQ(empty.GetContentType(), "application/x-www-form-urlencoded; charset=UTF-8");
}

TEST(Fields, ReplaceInPlaceUnlessDuplicatesAllowed) {
    HTTPRequest r("http://h/x");
    r.AddField("a", "1", false);
    r.AddField("b", "2", false);
    r.AddField("a", "3", false);
    EXPECT_EQ(r.GetFields(), (std::vector<std::string>{"a", "3", "b", "2"}));
    r.AddField("a", "4", true);
    r.AddField("A", "5", false);  // case-sensitive
    EXPECT_EQ(r.GetFields(), (std::vector<std::string>{"a", "3", "b", "2", "a", "4", "A", "5"}));
    std::string v;
    EXPECT_TRUE(r.GetField("a", v));
    EXPECT_EQ(v, "3");
    EXPECT_FALSE(r.GetField("c", v));
}

TEST(Files, AddFileMeasuresNamesAndRefusesMissing) {
    WriteFile("net_add_file.bin", "12345");
    HTTPRequest r("http://h/x");
    HTTPRequest::FileData out;
    EXPECT_FALSE(r.AddFile("f", "no/such/file.bin", false, &out));
    EXPECT_TRUE(r.GetFiles().empty());
    ASSERT_TRUE(r.AddFile("f", "net_add_file.bin", false, &out));
    EXPECT_EQ(out.size, 5);
    EXPECT_EQ(out.fileName, "net_add_file.bin");
    ASSERT_TRUE(r.AddFile("f", "./net_add_file.bin", false, nullptr));  // same name: replaced
    ASSERT_EQ(r.GetFiles().size(), 1u);
    EXPECT_EQ(r.GetFiles()[0].fileName, "net_add_file.bin");
    EXPECT_EQ(r.GetFiles()[0].path, "./net_add_file.bin");
    ASSERT_TRUE(r.AddFile("g", "./net_add_file.bin", true, nullptr));
    EXPECT_EQ(r.GetFiles().size(), 2u);
    fs().Remove("net_add_file.bin");
}

TEST(ForcedMultipart, FieldsThenClosingLineAndContentLength) {
    HTTPRequest r("http://h/x", HTTPRequest::kGet, HTTPRequest::kTextAnswer, HTTPRequest::kAlwaysMultipart);
    r.SetExtraHeaders("X-A: 1");
    r.AddField("k", "v", false);
    const std::string B = BoundaryOf(r);
    const std::string expected = "--" + B + "\r\nContent-Disposition: form-data; name=\"k\"\r\n\r\nv\r\n--" + B + "--\r\n";
    EXPECT_EQ(Body(r), expected);
    EXPECT_EQ(r.GetExtraHeaders(), "X-A: 1\r\nContent-Length: " + std::to_string(expected.size()));
    EXPECT_EQ(r.GetContentType(), "multipart/form-data; boundary=" + B);
    EXPECT_FALSE(r.GetUseGet());  // multipart forces POST
}

TEST_F(SpoolFolder, TwoFieldsAndANamedFileSpooledInTheFolder) {
    for (bool spooled : {true, false}) {
        if (!spooled) HTTPRequest::SetSpoolFolder("");
        HTTPRequest r("http://h/x");
        r.AddField("text", "A123", false);
        r.AddField("pwd", "p w", false);
        ASSERT_TRUE(r.AddFile("pfxFile", kCert, false, nullptr));
        const std::string B = BoundaryOf(r);
        const std::string expected =
            "--" + B + "\r\nContent-Disposition: form-data; name=\"text\"\r\n\r\nA123\r\n" + "--" + B +
            "\r\nContent-Disposition: form-data; name=\"pwd\"\r\n\r\np w\r\n" + "--" + B +
            "\r\nContent-Disposition: form-data; name=\"pfxFile\"; filename=\"cert.pfx\"\r\n" +
            "Content-Type: application/octet-stream\r\n\r\nPFX\x01\x02\r\n" + "--" + B + "--\r\n";
        EXPECT_EQ(Body(r), expected) << spooled;
        EXPECT_EQ(r.GetContentType(), "multipart/form-data; boundary=" + B);
        EXPECT_EQ(r.GetExtraHeaders(), "Content-Length: " + std::to_string(expected.size()));
        if (spooled) {
            EXPECT_TRUE(r.GetBody().empty());
            EXPECT_EQ(r.GetSpoolPath().compare(0, kFolder.size() + 1, kFolder + "/"), 0) << r.GetSpoolPath();
            // Never in the current directory.
            const std::string name = r.GetSpoolPath().substr(kFolder.size() + 1);
            EXPECT_FALSE(Exists(name));
            EXPECT_TRUE(r.RemoveSpoolFile());
            EXPECT_FALSE(Exists(r.GetSpoolPath()));
        } else {
            EXPECT_EQ(r.GetSpoolPath(), "");
        }
    }
}

// The certificate and its password must never reach the disk, whatever
// spool folder is set: the body is the same bytes, built in memory.
TEST_F(SpoolFolder, BodyInMemoryNeverCreatesASpoolFile) {
    HTTPRequest r("http://h/x");
    r.SetBodyInMemory(true);
    r.AddField("pwd", "secret", false);
    ASSERT_TRUE(r.AddFile("pfxFile", kCert, false, nullptr));
    const std::string B = BoundaryOf(r);
    const std::string expected =
        "--" + B + "\r\nContent-Disposition: form-data; name=\"pwd\"\r\n\r\nsecret\r\n" + "--" + B +
        "\r\nContent-Disposition: form-data; name=\"pfxFile\"; filename=\"cert.pfx\"\r\n" +
        "Content-Type: application/octet-stream\r\n\r\nPFX\x01\x02\r\n" + "--" + B + "--\r\n";
    EXPECT_EQ(r.GetSpoolPath(), "");
    const std::vector<char>& body = r.GetBody();
    EXPECT_EQ(std::string(body.begin(), body.end()), expected);
    EXPECT_EQ(r.GetExtraHeaders(), "Content-Length: " + std::to_string(expected.size()));
    for (uint32_t i = 0; i < 10; ++i) EXPECT_FALSE(Exists(net::JoinPath(kFolder, net::SpoolFileName(i))));
}

// A wipe that stopped at the size would leave the tail of an earlier,
// longer value in the storage the string keeps.
TEST(SecretBuffers, WipeCoversTheWholeCapacityAndKeepsTheStorage) {
    std::string text(40, 'x');
    text.resize(3);
    const char* storage = text.data();
    const size_t capacity = text.capacity();
    platform::WipeString(text);
    EXPECT_TRUE(text.empty());
    ASSERT_EQ(text.data(), storage);
    EXPECT_EQ(std::string(storage, capacity), std::string(capacity, '\0'));

    std::vector<char> bytes(64, 'y');
    bytes.resize(1);
    const char* block = bytes.data();
    platform::WipeVector(bytes);
    EXPECT_TRUE(bytes.empty());
    ASSERT_EQ(bytes.data(), block);
    EXPECT_EQ(std::string(block, 64), std::string(64, '\0'));
}

TEST_F(SpoolFolder, RelatedModeCarriesEscapedJsonAndAnUnnamedFile) {
    HTTPRequest r("http://h/x");
    r.AddField("cust_id", "A1", false);
    r.AddField("note", "say \"hi\"\n", false);
    ASSERT_TRUE(r.AddFile("", kCert, false, nullptr));
    const std::string B = BoundaryOf(r);
    EXPECT_EQ(Body(r), "--" + B + "\r\nContent-Type: application/json; charset=UTF-8\r\n\r\n" +
                           "{\"cust_id\":\"A1\",\"note\":\"say \\\"hi\\\"\\n\"}\r\n\r\n" + "--" + B +
                           "\r\nContent-Type: application/octet-stream\r\n\r\nPFX\x01\x02\r\n" + "--" + B + "--\r\n");
    EXPECT_EQ(r.GetContentType(), "multipart/related; boundary=" + B);
}

TEST_F(SpoolFolder, NamesQuotedSafelyInFormDataHeaders) {
    // (File names with quotes or line breaks cannot exist on Windows; the
    // file name goes through the same QuoteSafe, checked above.)
    HTTPRequest r("http://h/x");
    r.AddField("n\"\r\nX: y", "v", false);
    ASSERT_TRUE(r.AddFile("f\"", kCert, false, nullptr));
    const std::string body = Body(r);
    EXPECT_NE(body.find("name=\"n%22%0D%0AX: y\"\r\n"), std::string::npos);
    EXPECT_NE(body.find("name=\"f%22\"; filename=\"cert.pfx\"\r\n"), std::string::npos);
}

TEST_F(SpoolFolder, SpoolNamesCycleOverTenAndSkipATakenName) {
    std::vector<std::string> names;
    for (int i = 0; i < 11; ++i) {
        HTTPRequest r("http://h/x");
        ASSERT_TRUE(r.AddFile("f", kCert, false, nullptr));
        r.GetBody();
        names.push_back(r.GetSpoolPath());
    }  // each request removes its file when destroyed
    EXPECT_EQ(names[10], names[0]);
    for (int i = 1; i < 10; ++i) EXPECT_NE(names[i], names[0]);
    const std::string first = names[0].substr(kFolder.size() + 1);
    EXPECT_EQ(first.compare(0, 10, "http_post_"), 0);
    EXPECT_EQ(first.substr(12), ".body");
    EXPECT_EQ(net::JoinPath("C:\\Temp\\KovaApp", first), "C:\\Temp\\KovaApp\\" + first);  // the folder's separator

    // A name still taken is not reused: exclusive creation moves on.
    const uint32_t next = net::NextSpoolCounter() + 1;  // the value the next body would take
    WriteFile(net::JoinPath(kFolder, net::SpoolFileName(next)), "not yours");
    HTTPRequest other("http://h/x");
    ASSERT_TRUE(other.AddFile("f", kCert, false, nullptr));
    other.GetBody();
    EXPECT_EQ(other.GetSpoolPath(), net::JoinPath(kFolder, net::SpoolFileName(next + 1)));
    EXPECT_EQ(ReadAll(net::JoinPath(kFolder, net::SpoolFileName(next))), "not yours");
}

TEST_F(SpoolFolder, UnreadableFileLeftOutAndMissingFolderFallsBackToMemory) {
    WriteFile("net_spool_test/gone.pfx", "zz");
    HTTPRequest r("http://h/x");
    ASSERT_TRUE(r.AddFile("a", "net_spool_test/gone.pfx", false, nullptr));
    ASSERT_TRUE(r.AddFile("b", kCert, false, nullptr));
    fs().Remove("net_spool_test/gone.pfx");
    HTTPRequest::SetSpoolFolder("net_spool_test/no/such/folder");
    const std::string body = Body(r);
    const std::string B = BoundaryOf(r);
    EXPECT_EQ(r.GetSpoolPath(), "");
    EXPECT_EQ(body, "--" + B + "\r\nContent-Disposition: form-data; name=\"b\"; filename=\"cert.pfx\"\r\n" +
                        "Content-Type: application/octet-stream\r\n\r\nPFX\x01\x02\r\n--" + B + "--\r\n");
}

TEST_F(SpoolFolder, FormDataValueCannotBreakOutOfItsPart) {
    // A value (the echoed address, say) that closes its part with the old
    // fixed boundary and opens one of its own, and a file that does the same.
    const std::string old = "------------0x0x0x0x0x0x0x0x";
    const std::string forged = "1.2.3.4\r\n--" + old + "\r\nContent-Disposition: form-data; name=\"apply\"\r\n\r\nY\r\n--" +
                               old + "--";
    WriteFile("net_spool_test/forged.pfx", forged);
    for (bool spooled : {true, false}) {
        HTTPRequest::SetSpoolFolder(spooled ? kFolder : "");
        HTTPRequest r("http://h/x");
        r.AddField("ipaddr", forged, false);
        ASSERT_TRUE(r.AddFile("pfxFile", "net_spool_test/forged.pfx", false, nullptr));
        const std::string B = BoundaryOf(r);
        const std::vector<std::string> parts = PartsOf(Body(r), B);
        ASSERT_EQ(parts.size(), 2u) << spooled;
        EXPECT_EQ(parts[0], "Content-Disposition: form-data; name=\"ipaddr\"\r\n\r\n" + forged);
        EXPECT_EQ(parts[1], "Content-Disposition: form-data; name=\"pfxFile\"; filename=\"forged.pfx\"\r\n"
                            "Content-Type: application/octet-stream\r\n\r\n" + forged);
    }
}

TEST(MultipartBoundary, FreshForEveryRequestAndUnguessable) {
    HTTPRequest a("http://h/x", HTTPRequest::kPost, HTTPRequest::kTextAnswer, HTTPRequest::kAlwaysMultipart);
    HTTPRequest b("http://h/x", HTTPRequest::kPost, HTTPRequest::kTextAnswer, HTTPRequest::kAlwaysMultipart);
    const std::string ba = BoundaryOf(a), bb = BoundaryOf(b);
    EXPECT_NE(ba, bb);
    EXPECT_EQ(a.GetBoundary(), ba);
    // Dashes, then 128 random bits as hex: within the 70 characters allowed.
    ASSERT_EQ(ba.size(), 44u);
    EXPECT_EQ(ba.find_first_not_of('-'), 12u);
    EXPECT_EQ(ba.find_first_not_of("0123456789ABCDEF", 12), std::string::npos) << ba;
}

TEST(MultipartBoundary, ScanFindsTheBoundaryAcrossBlockJoins) {
    const std::string text = "xx--ABCDEF--yy";
    for (size_t cut1 = 0; cut1 <= text.size(); ++cut1) {
        for (size_t cut2 = cut1; cut2 <= text.size(); ++cut2) {
            net::NeedleScan scan("ABCDEF");
            scan.Feed(text.data(), cut1);
            scan.Feed(text.data() + cut1, cut2 - cut1);
            scan.Feed(text.data() + cut2, text.size() - cut2);
            EXPECT_TRUE(scan.Found()) << cut1 << " " << cut2;
        }
    }
    net::NeedleScan miss("ABCDEF");
    miss.Feed("ABCDE", 5);
    miss.Feed("xF", 2);
    EXPECT_FALSE(miss.Found());
}

// What it scans is a certificate: no copy of it, nor of the tail it keeps
// across feeds, may stay in the heap once the scan is over.
TEST(MultipartBoundary, ScanLeavesNoCopyOfWhatItRead) {
    static char file[4096];  // outside the heap, as a file read onto the stack
    uint32_t x = 0x9E3779B9u;
    for (char& c : file) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    if (platform::CountInProgramHeap(file, 32) < 0) GTEST_SKIP() << "no heap walk on this platform";
    for (const size_t block : {sizeof file, size_t{1000}, size_t{7}}) {
        {
            net::NeedleScan scan("--------------------------------boundary");
            for (size_t at = 0; at < sizeof file; at += block)
                scan.Feed(file + at, std::min(block, sizeof file - at));
            EXPECT_FALSE(scan.Found());
        }
        EXPECT_EQ(platform::CountInProgramHeap(file + sizeof file / 2, 32), 0) << block;
        EXPECT_EQ(platform::CountInProgramHeap(file + sizeof file - 32, 32), 0) << block;
    }
}
