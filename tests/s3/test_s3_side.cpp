// The object store side against a real radosgw on loopback: what it writes is read back by
// plain signed requests (s3_witness.h), what others write is made the same way, and the peers'
// view is Debian's rclone on the same endpoint. One bucket per test.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>

#include "s3/kn_unitS3Location.h"
#include "s3/kn_unitS3Side.h"
#include "s3/kn_unitS3Write.h"
#include "tests/common/temp_tree.h"
#include "tests/s3/s3_witness.h"

namespace s3test {
namespace {

using kn::TKNSideError;
using kn::TKNSideResult;

constexpr int64_t kOld = 1577872800;  // 2020-01-01 10:00:00 UTC

kn::TKNSidePath P(const std::string& rel)
{
    kn::TKNSidePath path;
    std::string reason;
    EXPECT_TRUE(kn::TKNSidePath::FromRelative(rel, path, reason)) << reason;
    return path;
}

TKNSideResult Put(kn::TKNSide& side, const kn::TKNSidePath& path, const std::string& content,
                  kn::TKNWriteTerms terms = {})
{
    if (terms.Size < 0) terms.Size = static_cast<int64_t>(content.size());
    std::unique_ptr<kn::TKNWriteStream> stream;
    if (TKNSideResult r = side.OpenWrite(path, terms, stream); !r) return r;
    for (std::size_t at = 0; at < content.size(); at += 1 << 20)
        if (TKNSideResult r = stream->Write(content.data() + at, std::min<std::size_t>(1 << 20, content.size() - at));
            !r)
            return r;
    return stream->Commit();
}

std::string ReadAll(kn::TKNSide& side, const kn::TKNSidePath& path)
{
    std::unique_ptr<kn::TKNReadStream> stream;
    if (TKNSideResult r = side.OpenRead(path, stream); !r) return "<" + r.Message + ">";
    std::string content;
    char buffer[65536];
    TKNSideResult r;
    for (int64_t n; (n = stream->Read(buffer, sizeof buffer, r)) > 0;) content.append(buffer, n);
    return r ? content : "<" + r.Message + ">";
}

kn::TKNWriteTerms Terms(int64_t mtime, int32_t nsec, kn::TKNExpected replaces = {})
{
    kn::TKNWriteTerms terms;
    terms.MTime = mtime;
    terms.MTimeNsec = nsec;
    terms.Replaces = replaces;
    return terms;
}

kn::TKNExpected Nothing()
{
    kn::TKNExpected e;
    e.Known = true;
    return e;
}

kn::TKNExpected Was(const kn::TKNSideEntry& entry)
{
    kn::TKNExpected e;
    e.Known = e.Exists = true;
    e.Size = entry.Size;
    e.MTime = entry.MTime;
    e.Version = entry.Version;
    return e;
}

// --- Locations (no store needed) ---------------------------------------------------------------

TEST(S3Location, Parses)
{
    struct Case {
        const char* Text;
        const char* Host;
        int Port;
        bool Tls;
        const char* Bucket;
        std::vector<std::string> Prefix;
        const char* Key;
        const char* Secret;
        const char* Region;
        const char* Shown;
    } cases[] = {
        {"s3://K:S@store:9000/bkt/a%20b/c;http;region=eu-west-1",
         "store",
         9000,
         false,
         "bkt",
         {"a b", "c"},
         "K",
         "S",
         "eu-west-1",
         "s3://K@store:9000/bkt/a%20b/c;http;region=eu-west-1"},
        // A secret holds "/" and "+" as the stores make them.
        {"s3://AK:se/cr+et@[::1]/bkt/",
         "::1",
         443,
         true,
         "bkt",
         {},
         "AK",
         "se/cr+et",
         "us-east-1",
         "s3://AK@[::1]/bkt"},
        {"s3://K:p%40ss@h/b-1/x", "h", 443, true, "b-1", {"x"}, "K", "p@ss", "us-east-1", "s3://K@h/b-1/x"},
    };
    for (const Case& c : cases) {
        const kn::TKNS3Location l = kn::ParseS3Location(c.Text);
        EXPECT_EQ(l.Endpoint.Host, c.Host) << c.Text;
        EXPECT_EQ(l.Endpoint.Port, c.Port) << c.Text;
        EXPECT_EQ(l.Endpoint.Tls, c.Tls) << c.Text;
        EXPECT_EQ(l.Bucket, c.Bucket) << c.Text;
        EXPECT_EQ(l.Prefix, c.Prefix) << c.Text;
        EXPECT_EQ(l.Endpoint.User, c.Key) << c.Text;
        EXPECT_EQ(l.Endpoint.Password, c.Secret) << c.Text;
        EXPECT_EQ(l.Endpoint.Sigv4, std::string("aws:amz:") + c.Region + ":s3") << c.Text;
        EXPECT_EQ(l.Shown, c.Shown) << c.Text;
        EXPECT_EQ(kn::HideS3Secrets(std::string("copy \"") + c.Text + "\"").find(c.Secret), std::string::npos);
    }
    for (const char* bad : {"s3://K:S@host", "s3://K:S@host/", "s3://K:S@host/bkt;bogus", "s3://K:S@host:0/bkt",
                            "s3://K:S@/bkt", "s3://K:S@host/bkt/%2E%2E", "s3://K:S@host/bkt/a%2Fb"})
        EXPECT_THROW(kn::ParseS3Location(bad), kn::TKNS3Error) << bad;
}

// Without a key in the location: the standard variables, else the profile of the credentials file.
TEST(S3Location, AmbientCredentials)
{
    testutil::TempDir home;
    testutil::WriteFile(home / ".aws/credentials",
                        "[default]\naws_access_key_id = DK\naws_secret_access_key = DS\n"
                        "[work]\naws_access_key_id=WK\naws_secret_access_key=WS\n");
    struct Case {
        const char* EnvKey;
        const char* EnvSecret;
        const char* Profile;
        const char* Key;
        const char* Secret;
    } cases[] = {
        {"EK", "ES", nullptr, "EK", "ES"},
        {nullptr, nullptr, nullptr, "DK", "DS"},
        {nullptr, nullptr, "work", "WK", "WS"},
        {"EK", nullptr, "work", "WK", "WS"},  // half of the variables do not count
    };
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", home.path().c_str(), 1);
    for (const Case& c : cases) {
        c.EnvKey ? ::setenv("AWS_ACCESS_KEY_ID", c.EnvKey, 1) : ::unsetenv("AWS_ACCESS_KEY_ID");
        c.EnvSecret ? ::setenv("AWS_SECRET_ACCESS_KEY", c.EnvSecret, 1) : ::unsetenv("AWS_SECRET_ACCESS_KEY");
        c.Profile ? ::setenv("AWS_PROFILE", c.Profile, 1) : ::unsetenv("AWS_PROFILE");
        const kn::TKNS3Location l = kn::ParseS3Location("s3://host/bkt");
        EXPECT_EQ(l.Endpoint.User, c.Key);
        EXPECT_EQ(l.Endpoint.Password, c.Secret);
    }
    ::setenv("AWS_PROFILE", "none", 1);
    EXPECT_THROW(kn::ParseS3Location("s3://host/bkt"), kn::TKNS3Error);
    ::unsetenv("AWS_PROFILE");
    ::unsetenv("AWS_ACCESS_KEY_ID");
    ::unsetenv("AWS_SECRET_ACCESS_KEY");
    ::setenv("HOME", savedHome.c_str(), 1);
}

// --- Against radosgw ---------------------------------------------------------------------------

class S3Side : public testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        server_ = testutil::S3Server::Shared();
        if (!server_) GTEST_SKIP() << testutil::S3Server::Unavailable();
        ::setenv("KESTRUNE_HOME", home_.path().c_str(), 1);
        static int serial = 0;
        bucket_ = "t" + std::to_string(::getpid()) + "-" + std::to_string(++serial);
        ASSERT_TRUE(server_->MakeBucket(bucket_));
        witness_ = std::make_unique<Witness>(*server_);
        side_ = Open("");
        ASSERT_TRUE(side_);
    }

    // A connected side on the bucket (or a prefix in it); with the parameter false it sends no
    // conditions, as for a store that ignores them.
    std::unique_ptr<kn::TKNS3Side> Open(const std::string& prefix)
    {
        auto side = std::make_unique<kn::TKNS3Side>(server_->Location(bucket_, prefix), context_);
        if (!GetParam()) side->IgnoreConditions();
        const TKNSideResult r = side->Connect();
        EXPECT_TRUE(r) << r.Message;
        return r ? std::move(side) : nullptr;
    }

    std::map<std::string, kn::TKNSideEntry> Listed(const std::string& folder)
    {
        std::vector<kn::TKNSideEntry> entries;
        const TKNSideResult r = side_->List(P(folder), entries);
        EXPECT_TRUE(r) << r.Message;
        std::map<std::string, kn::TKNSideEntry> byName;
        for (const kn::TKNSideEntry& e : entries) byName[e.Name] = e;
        return byName;
    }

    testutil::S3Server* server_ = nullptr;
    testutil::TempDir home_;
    std::string bucket_;
    std::unique_ptr<Witness> witness_;
    std::atomic<bool> stop_{false};
    kn::TKNSideContext context_{&stop_, {}};
    std::unique_ptr<kn::TKNS3Side> side_;
};

// Names that need encoding arrive whole, each one component, with their times as metadata in
// the form other tools read.
TEST_P(S3Side, NamesTimesAndContentRoundTrip)
{
    const std::vector<std::string> names = {"plain.txt", "with space", "per%cent", "h#q?s;p+", "\xc3\xbcml", "a\\b"};
    int32_t nsec = 5;
    for (const std::string& folder : {std::string(), std::string("sub dir")}) {
        for (const std::string& name : names) {
            const std::string rel = folder.empty() ? name : folder + "/" + name;
            ASSERT_TRUE(Put(*side_, P(rel), "content of " + rel, Terms(kOld, nsec))) << rel;
            EXPECT_EQ(witness_->Get(bucket_, rel), "content of " + rel);
            char meta[40];
            std::snprintf(meta, sizeof meta, "%lld.%09d", static_cast<long long>(kOld), nsec);
            EXPECT_EQ(witness_->Head(bucket_, rel, "x-amz-meta-mtime"), meta) << rel;
            EXPECT_EQ(ReadAll(*side_, P(rel)), "content of " + rel);
            nsec += 1000;
        }
        auto listed = Listed(folder);
        ASSERT_EQ(listed.size(), names.size());
        for (const std::string& name : names) {
            EXPECT_EQ(listed[name].Size,
                      static_cast<int64_t>(("content of " + (folder.empty() ? name : folder + "/" + name)).size()));
            EXPECT_EQ(listed[name].MTime, kOld) << name;
        }
    }
    EXPECT_TRUE(Listed("")["sub dir"].IsFolder());
    // A key that is no plain name, or a folder's marker, is not listed as an entry.
    ASSERT_TRUE(witness_->Put(bucket_, "x//y", "z"));
    ASSERT_TRUE(witness_->Put(bucket_, "sub dir/", ""));
    EXPECT_EQ(Listed("sub dir").count(""), 0u);
    EXPECT_EQ(Listed("x").size(), 0u);
}

// Objects others wrote: the metadata's time, else LastModified; pages are followed; the
// record serves a time only while the object is the one recorded.
TEST_P(S3Side, ListingPagesAndTheRecord)
{
    std::vector<std::string> keys;
    for (int i = 0; i < 1003; ++i) keys.push_back("many/" + std::to_string(i));
    for (const std::string& key : keys) ASSERT_TRUE(witness_->Put(bucket_, key, key));
    ASSERT_TRUE(witness_->Put(bucket_, "many/deep/x", "x", {"x-amz-meta-mtime: 1600000000.5"}));
    auto listed = Listed("many");
    ASSERT_EQ(listed.size(), keys.size() + 1);
    EXPECT_TRUE(listed["deep"].IsFolder());
    EXPECT_EQ(Listed("many/deep")["x"].MTime, 1600000000);
    EXPECT_EQ(Listed("many/deep")["x"].MTimeNsec, 500000000);
    EXPECT_GT(listed["17"].MTime, kOld);  // LastModified: written just now

    // Another tool sets a time by copying the object onto itself: same ETag, a new time.
    ASSERT_TRUE(Put(*side_, P("t.txt"), "t", Terms(kOld, 0)));
    EXPECT_EQ(Listed("")["t.txt"].MTime, kOld);
    auto copied = witness_->Ask("PUT", bucket_, "t.txt",
                                {"x-amz-copy-source: /" + bucket_ + "/t.txt", "x-amz-metadata-directive: REPLACE",
                                 "x-amz-meta-mtime: 1500000000"});
    ASSERT_EQ(copied->Status(), 200);
    EXPECT_EQ(Listed("")["t.txt"].MTime, 1500000000);
}

// A write or a delete happens only while the object is what the comparison saw; with the
// store's conditions ignored the HEAD just before still refuses.
TEST_P(S3Side, ChangedSinceTheComparisonIsRefused)
{
    ASSERT_TRUE(witness_->Put(bucket_, "f", "seen"));
    const kn::TKNSideEntry seen = Listed("")["f"];
    ASSERT_TRUE(witness_->Put(bucket_, "f", "changed by another"));
    struct Case {
        const char* What;
        std::function<TKNSideResult()> Act;
    } cases[] = {
        {"replace", [&] { return Put(*side_, P("f"), "mine", Terms(kOld, 0, Was(seen))); }},
        {"delete", [&] { return side_->RemoveFile(P("f"), Was(seen)); }},
        {"create over it", [&] { return Put(*side_, P("f"), "mine", Terms(kOld, 0, Nothing())); }},
        {"copy over it",
         [&] {
             EXPECT_TRUE(witness_->Put(bucket_, "g", "source"));
             return side_->CopyWithin(P("g"), P("f"), Terms(kOld, 0, Was(seen)));
         }},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.Act().Kind, TKNSideError::Changed) << c.What;
        EXPECT_EQ(witness_->Get(bucket_, "f"), "changed by another") << c.What;
    }
    // What is still as seen goes through, a new file where nothing is too.
    const kn::TKNSideEntry now = Listed("")["f"];
    EXPECT_TRUE(Put(*side_, P("f"), "mine", Terms(kOld, 0, Was(now))));
    EXPECT_EQ(witness_->Get(bucket_, "f"), "mine");
    EXPECT_TRUE(Put(*side_, P("new"), "new", Terms(kOld, 0, Nothing())));
    EXPECT_TRUE(side_->RemoveFile(P("f"), Was(Listed("")["f"])));
    EXPECT_EQ(witness_->Keys(bucket_), (std::vector<std::string>{"g", "new"}));
}

// As the update writes a group of small files: every stream opened, then written, then
// committed in order, as many as the side takes at once.
TEST_P(S3Side, ManyFilesAtOnce)
{
    const int count = side_->Caps().FilesAtOnce;
    std::vector<std::unique_ptr<kn::TKNWriteStream>> streams(count);
    for (int i = 0; i < count; ++i) {
        kn::TKNWriteTerms terms = Terms(kOld + i, 0, Nothing());
        terms.Size = 2;
        ASSERT_TRUE(side_->OpenWrite(P("f" + std::to_string(i)), terms, streams[i]));
    }
    for (int i = 0; i < count; ++i) ASSERT_TRUE(streams[i]->Write("ab", 2));
    for (int i = 0; i < count; ++i) ASSERT_TRUE(streams[i]->Commit()) << i;
    auto listed = Listed("");
    ASSERT_EQ(listed.size(), static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) EXPECT_EQ(listed["f" + std::to_string(i)].MTime, kOld + i);
}

// Nothing of a write cut short stays: neither the object nor the parts of a multipart upload.
TEST_P(S3Side, AbortedWritesLeaveNothing)
{
    const std::string big((kn::kS3SinglePut + 3 * kn::kS3PartSize / 2), 'b');
    for (const int64_t size : {int64_t(10), static_cast<int64_t>(big.size())}) {
        kn::TKNWriteTerms terms = Terms(kOld, 0);
        terms.Size = size;
        std::unique_ptr<kn::TKNWriteStream> stream;
        ASSERT_TRUE(side_->OpenWrite(P("cut"), terms, stream));
        // All but the last byte, then the caller gives up (a failed source, a stop).
        for (int64_t at = 0; at < size - 1; at += 1 << 20)
            ASSERT_TRUE(stream->Write(big.data(), static_cast<std::size_t>(std::min<int64_t>(1 << 20, size - 1 - at))));
        stream->Abort();
        EXPECT_EQ(witness_->Head(bucket_, "cut", "ETag"), "<status 404>") << size;
        EXPECT_TRUE(witness_->Uploads(bucket_).empty()) << size;
        // Too few bytes at the commit: refused, nothing left.
        ASSERT_TRUE(side_->OpenWrite(P("short"), terms, stream));
        ASSERT_TRUE(stream->Write(big.data(), 5));
        EXPECT_FALSE(stream->Commit());
        stream.reset();
        EXPECT_EQ(witness_->Head(bucket_, "short", "ETag"), "<status 404>") << size;
        EXPECT_TRUE(witness_->Uploads(bucket_).empty()) << size;
    }
}

// Above the single PUT's limit: parts, completed only whole; the ETag then is the store's own.
TEST_P(S3Side, MultipartUploadRoundTrip)
{
    std::string big(kn::kS3SinglePut + kn::kS3PartSize + 12345, '\0');
    for (std::size_t i = 0; i < big.size(); i += 4096) big[i] = static_cast<char>(i / 4096);
    ASSERT_TRUE(Put(*side_, P("big"), big, Terms(kOld, 7)));
    EXPECT_EQ(witness_->Head(bucket_, "big", "Content-Length"), std::to_string(big.size()));
    EXPECT_EQ(witness_->Head(bucket_, "big", "x-amz-meta-mtime"), std::to_string(kOld) + ".000000007");
    EXPECT_TRUE(ReadAll(*side_, P("big")) == big);
    const kn::TKNSideEntry listed = Listed("")["big"];
    EXPECT_EQ(listed.MTime, kOld);
    EXPECT_NE(listed.Version.find('-'), std::string::npos);  // a multipart ETag: no MD5
    EXPECT_TRUE(side_->Hashes(P("big")).empty());
    EXPECT_TRUE(witness_->Uploads(bucket_).empty());
}

// Folders are prefixes; one made here is a marker that keeps it while empty.
TEST_P(S3Side, FoldersAreMarkersAndPrefixes)
{
    ASSERT_TRUE(side_->MakeFolder(P("empty"), -1));
    ASSERT_TRUE(side_->MakeFolder(P("empty"), -1));  // there already: success
    EXPECT_EQ(witness_->Keys(bucket_), std::vector<std::string>{"empty/"});
    EXPECT_TRUE(Listed("")["empty"].IsFolder());
    EXPECT_TRUE(Listed("empty").empty());
    kn::TKNSideEntry entry;
    ASSERT_TRUE(side_->Stat(P("empty"), entry));
    EXPECT_TRUE(entry.IsFolder());
    ASSERT_TRUE(witness_->Put(bucket_, "implicit/a", "a"));
    ASSERT_TRUE(side_->Stat(P("implicit"), entry));
    EXPECT_TRUE(entry.IsFolder());
    EXPECT_EQ(side_->RemoveFolder(P("implicit")).Kind, TKNSideError::Other);  // not empty
    EXPECT_EQ(side_->MakeFolder(P("implicit/a"), -1).Kind, TKNSideError::Exists);
    EXPECT_EQ(side_->Stat(P("nothing"), entry).Kind, TKNSideError::NotFound);
    std::vector<kn::TKNSideEntry> none;
    EXPECT_EQ(side_->List(P("nothing"), none).Kind, TKNSideError::NotFound);  // never an empty folder
    ASSERT_TRUE(side_->RemoveFolder(P("empty")));
    EXPECT_EQ(witness_->Keys(bucket_), std::vector<std::string>{"implicit/a"});
    // A side whose root is a prefix sees only below it.
    auto below = Open("implicit");
    ASSERT_TRUE(below);
    std::vector<kn::TKNSideEntry> entries;
    ASSERT_TRUE(below->List(P(""), entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Name, "a");
    EXPECT_EQ(kn::TKNS3Side(server_->Location(bucket_, "missing"), context_).Connect().Kind, TKNSideError::NotFound);
}

// A time alone is a copy onto itself; a copy within the store takes the terms' time; neither
// moves bytes through the side. Modes and renames are refused.
TEST_P(S3Side, TimesCopiesAndWhatAStoreCannotDo)
{
    ASSERT_TRUE(Put(*side_, P("a"), "alpha", Terms(kOld, 0)));
    ASSERT_TRUE(side_->SetTime(P("a"), kOld + 60, 250000000));
    EXPECT_EQ(witness_->Head(bucket_, "a", "x-amz-meta-mtime"), std::to_string(kOld + 60) + ".250000000");
    EXPECT_EQ(Listed("")["a"].MTime, kOld + 60);
    ASSERT_TRUE(side_->CopyWithin(P("a"), P("sub/b"), Terms(kOld + 120, 0, Nothing())));
    EXPECT_EQ(witness_->Get(bucket_, "sub/b"), "alpha");
    EXPECT_EQ(Listed("sub")["b"].MTime, kOld + 120);
    std::vector<std::string> hashes = side_->Hashes(P("a"));
    ASSERT_EQ(hashes, std::vector<std::string>{"md5"});
    std::string hex;
    ASSERT_TRUE(side_->Hash(P("a"), "md5", hex));
    EXPECT_EQ(hex, "2c1743a391305fbf367df8e4f069f9f9");  // md5("alpha")
    EXPECT_EQ(side_->SetMode(P("a"), 0644).Kind, TKNSideError::Unsupported);
    EXPECT_EQ(side_->Rename(P("a"), P("c")).Kind, TKNSideError::Unsupported);
    EXPECT_FALSE(side_->Caps().Rename);
    EXPECT_FALSE(side_->Caps().SetMode);
    EXPECT_TRUE(side_->Caps().ServerCopy);
}

// A wrong secret fails the connection as denied, never as an empty bucket.
TEST_P(S3Side, RefusedCredentialsFail)
{
    std::string location = server_->Location(bucket_);
    location.replace(location.find(server_->Secret()), server_->Secret().size(), "wrong");
    kn::TKNS3Side side(location, context_);
    const TKNSideResult r = side.Connect();
    EXPECT_EQ(r.Kind, TKNSideError::Denied) << r.Message;
    EXPECT_EQ(r.Message.find("wrong"), std::string::npos);
}

// The peers' view: rclone shows the times this side wrote, and this side the times rclone wrote.
TEST_P(S3Side, InteroperatesWithRclone)
{
    if (std::system("command -v rclone >/dev/null 2>&1") != 0) GTEST_SKIP() << "rclone is not installed";
    // A remote of rclone's own configuration by its variables (RCLONE_CONFIG_<NAME>_<OPTION>).
    ::setenv("RCLONE_CONFIG_KNTEST_TYPE", "s3", 1);
    ::setenv("RCLONE_CONFIG_KNTEST_PROVIDER", "Ceph", 1);
    ::setenv("RCLONE_CONFIG_KNTEST_ACCESS_KEY_ID", server_->AccessKey().c_str(), 1);
    ::setenv("RCLONE_CONFIG_KNTEST_SECRET_ACCESS_KEY", server_->Secret().c_str(), 1);
    ::setenv("RCLONE_CONFIG_KNTEST_ENDPOINT", ("http://127.0.0.1:" + std::to_string(server_->Port())).c_str(), 1);
    // Debian's rclone 1.60 cannot take a CA bundle from AWS_CA_BUNDLE over its own transport.
    ::unsetenv("AWS_CA_BUNDLE");
    const std::string remote = "kntest:" + bucket_;
    ASSERT_TRUE(Put(*side_, P("ours.txt"), "ours", Terms(kOld, 123000000)));
    testutil::TempDir out;
    const std::string lsl = "rclone lsl '" + remote + "' > " + out.path() + "/lsl 2>&1";
    ASSERT_EQ(std::system(lsl.c_str()), 0) << testutil::ReadFile(out.path() + "/lsl");
    EXPECT_NE(testutil::ReadFile(out.path() + "/lsl").find("2020-01-01 10:00:00.123000000 ours.txt"), std::string::npos)
        << testutil::ReadFile(out.path() + "/lsl");
    testutil::TempDir source;
    testutil::WriteFile(source / "theirs.txt", "theirs");
    testutil::SetMTime(source / "theirs.txt", kOld + 3600);
    const std::string copy = "rclone copy '" + source.path() + "' '" + remote + "/r' > " + out.path() + "/copy 2>&1";
    ASSERT_EQ(std::system(copy.c_str()), 0) << testutil::ReadFile(out.path() + "/copy");
    const kn::TKNSideEntry theirs = Listed("r")["theirs.txt"];
    EXPECT_EQ(theirs.MTime, kOld + 3600);
    EXPECT_EQ(theirs.Size, 6);
}

std::string ConditionsName(const testing::TestParamInfo<bool>& param)
{
    return param.param ? "Honoured" : "Ignored";
}

INSTANTIATE_TEST_SUITE_P(Conditions, S3Side, testing::Values(true, false), ConditionsName);

}  // namespace
}  // namespace s3test
