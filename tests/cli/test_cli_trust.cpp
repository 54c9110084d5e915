// Trusting a server, one table for every kind of trust: an SSH host key (sshd) and a TLS
// certificate (vsftpd over explicit TLS, with a certificate made for the run), both on loopback.
// The comparison fails with kind Untrusted, the trust command asks and records, the comparison
// then runs; a record that differs from what the server shows is never replaced on a question,
// and only where the kind allows it on an explicit yes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitServerTrust.h"
#include "tests/cli/cli_run.h"
#include "tests/common/ftp_server.h"
#include "tests/common/sshd_server.h"
#include "tests/common/temp_tree.h"

using clitest::RunCli;
using namespace testutil;

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A server whose identity is not recorded yet, the folder it serves and where a yes is recorded.
class TrustedServer {
public:
    virtual ~TrustedServer() = default;
    virtual std::string Unavailable() { return {}; }
    virtual std::string Location() const = 0;
    virtual std::string Fingerprint() const = 0;
    virtual std::string RecordFile() const = 0;
    virtual void RecordAnother() = 0;  // as if the server's key or certificate had changed
    virtual bool Replaceable() const = 0;
};

class SshTrust : public TrustedServer {
public:
    SshTrust() { WriteFile(server_.Root() + "/site/a.txt", "a"); }
    std::string Location() const override { return server_.Location(server_.Root() + "/site"); }
    std::string Fingerprint() const override { return server_.Fingerprint(); }
    std::string RecordFile() const override { return server_.ClientHome() + "/.ssh/known_hosts"; }
    void RecordAnother() override { server_.TrustOtherKey(); }
    bool Replaceable() const override { return false; }

private:
    SshServer server_;
};

class TlsTrust : public TrustedServer {
public:
    std::string Unavailable() override
    {
        std::string why;
        if (!VsftpdServer::Usable(why)) return why;
        fingerprint_ = MakeCertificate(certs_.path(), "kestrune-test.invalid");
        server_ = std::make_unique<VsftpdServer>(certs_ / "cert.pem", certs_ / "key.pem");
        WriteFile(server_->Root() + "/www/a.txt", "a");
        server_->GiveToServer();
        ::setenv("KESTRUNE_HOME", home_.path().c_str(), 1);
        return {};
    }
    ~TlsTrust() override { ::unsetenv("KESTRUNE_HOME"); }
    std::string Location() const override { return server_->Location("/www"); }
    std::string Fingerprint() const override { return fingerprint_; }
    std::string RecordFile() const override { return home_ / "known_servers"; }
    void RecordAnother() override
    {
        WriteFile(RecordFile(),
                  "127.0.0.1:" + std::to_string(server_->Port()) + " sha256:" + std::string(64, 'a') + "\n");
    }
    bool Replaceable() const override { return true; }

private:
    TempDir certs_, home_;
    std::string fingerprint_;
    std::unique_ptr<VsftpdServer> server_;
};

struct TrustCase {
    const char* name;
    std::function<std::unique_ptr<TrustedServer>()> make;
};

class Trust : public testing::TestWithParam<TrustCase> {
protected:
    void SetUp() override
    {
        server_ = GetParam().make();
        if (std::string why = server_->Unavailable(); !why.empty()) GTEST_SKIP() << why;
        WriteFile(local_ / "a.txt", "a");
    }
    // A comparison in this process, as the window runs it.
    kn::TKNSideError Compared(std::string& error)
    {
        kn::TKNFileCompare engine;
        engine.SetLeftFolder(local_.path());
        engine.SetRightFolder(server_->Location());
        engine.Compare(true);
        error = engine.ErrorText;
        return engine.ErrorKind;
    }
    std::string Record() const { return Exists(server_->RecordFile()) ? ReadFile(server_->RecordFile()) : ""; }

    std::unique_ptr<TrustedServer> server_;
    TempDir local_;
};

TEST_P(Trust, UntrustedUntilRecordedThenCompared)
{
    TrustedServer& s = *server_;
    std::string error;
    EXPECT_EQ(Compared(error), kn::TKNSideError::Untrusted) << error;
    EXPECT_TRUE(Contains(error, s.Fingerprint())) << error;
    auto refused = RunCli({"compare", local_.path(), s.Location()});
    EXPECT_EQ(refused.status, 2) << refused.err;
    EXPECT_TRUE(Contains(refused.err, "kestrune-cli trust " + s.Location())) << refused.err;

    auto unanswered = RunCli({"trust", s.Location()});  // standard input is closed: no answer
    EXPECT_EQ(unanswered.status, 1) << unanswered.err;
    EXPECT_TRUE(Contains(unanswered.out, s.Fingerprint())) << unanswered.out;
    EXPECT_TRUE(Contains(unanswered.out, "Nothing recorded")) << unanswered.out;
    EXPECT_FALSE(Contains(Record(), s.Fingerprint()));

    auto yes = RunCli({"trust", "--yes", s.Location()});
    EXPECT_EQ(yes.status, 0) << yes.err;
    EXPECT_TRUE(Contains(yes.out, "Recorded in " + s.RecordFile())) << yes.out;
    EXPECT_TRUE(Contains(RunCli({"trust", s.Location()}).out, "trusted already"));
    EXPECT_EQ(Compared(error), kn::TKNSideError::None) << error;
    EXPECT_EQ(RunCli({"compare", local_.path(), s.Location()}).status, 0);
}

TEST_P(Trust, AnotherRecordIsAWarningAndReplacedOnlyOnAnExplicitYesWhereTheKindAllows)
{
    TrustedServer& s = *server_;
    s.RecordAnother();
    const std::string before = Record();
    std::string error;
    EXPECT_EQ(Compared(error), kn::TKNSideError::Connection) << "never a question: " << error;
    EXPECT_TRUE(Contains(error, "WARNING")) << error;
    kn::TKNServerIdentity identity;
    ASSERT_TRUE(kn::ReadServerIdentity(s.Location(), identity));
    EXPECT_TRUE(identity.Changed && !identity.Known);
    EXPECT_THROW(kn::TrustServer(s.Location(), identity), std::exception) << "the window never replaces it";
    EXPECT_EQ(Record(), before);

    auto unanswered = RunCli({"trust", s.Location()});
    EXPECT_EQ(unanswered.status, 1);
    EXPECT_TRUE(Contains(unanswered.out, "WARNING")) << unanswered.out;
    EXPECT_EQ(Record(), before);
    auto yes = RunCli({"trust", "--yes", s.Location()});
    EXPECT_EQ(yes.status, s.Replaceable() ? 0 : 1) << yes.out << yes.err;
    EXPECT_EQ(Contains(Record(), s.Fingerprint()), s.Replaceable()) << Record();
    EXPECT_EQ(Compared(error) == kn::TKNSideError::None, s.Replaceable()) << error;
}

TEST(TrustCommand, AServerWithNothingToTrustIsAUsageError)
{
    EXPECT_EQ(RunCli({"trust", "--yes", "ftp://127.0.0.1"}).status, 2);
    EXPECT_EQ(RunCli({"trust", "--yes", "/home"}).status, 2);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Trust,
                         testing::Values(TrustCase{"HostKey", [] { return std::make_unique<SshTrust>(); }},
                                         TrustCase{"Certificate", [] { return std::make_unique<TlsTrust>(); }}),
                         [](const testing::TestParamInfo<TrustCase>& row) { return std::string(row.param.name); });

}  // namespace
