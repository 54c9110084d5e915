// One table over every kind the registry lists: each comes with its test file (side_kind_*.cpp,
// whose facts it checks), is found by each of its schemes, never shows a password in any text,
// follows the one password rule, says what trust its servers need, and has its usage on every
// list of locations.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "config/kn_unitLocationSecrets.h"
#include "engine/kn_unitServerTrust.h"
#include "engine/kn_unitSideRegistry.h"
#include "engine/kn_unitSideUsage.h"
#include "tests/side/side_kinds.h"

namespace sidetest {

namespace {

std::vector<TKindFacts>& Facts()
{
    static std::vector<TKindFacts> facts;  // filled by the static initialisers of side_kind_*.cpp
    return facts;
}

}  // namespace

bool RegisterKindFacts(TKindFacts facts)
{
    Facts().push_back(std::move(facts));
    return true;
}

const std::vector<TKindFacts>& RegisteredKindFacts()
{
    return Facts();
}

namespace {

const TKindFacts* FactsOf(const kn::TKNSideKind& kind)
{
    for (const TKindFacts& facts : RegisteredKindFacts())
        if (facts.Name == kind.Name()) return &facts;
    return nullptr;
}

std::string Upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

TEST(SideKinds, EveryKindHasItsTestFileAndIsFoundByEachOfItsSchemes)
{
    std::set<std::string> names;
    const auto& kinds = kn::SideKinds();
    for (const kn::TKNSideKind* kind : kinds) {
        const std::string name(kind->Name());
        EXPECT_TRUE(names.insert(name).second) << "two kinds are named " << name;
        const TKindFacts* facts = FactsOf(*kind);
        ASSERT_NE(facts, nullptr) << "the kind " << name << " has no tests/side/side_kind_*.cpp registering it";
        const std::vector<std::string_view> served = kind->Schemes();
        std::vector<std::string> schemes(served.begin(), served.end()), expected;
        for (const TSchemeFacts& scheme : facts->Schemes) expected.push_back(scheme.Scheme);
        EXPECT_EQ(schemes, expected) << name;
        // Only the last kind takes the texts no scheme claims.
        EXPECT_EQ(schemes.empty(), kind == kinds.back()) << name;
        for (const std::string& scheme : schemes)
            for (const std::string& location : {scheme + "//kn@h/x", Upper(scheme) + "//h", scheme + "\\\\h\\x"}) {
                EXPECT_EQ(&kn::KindOfLocation(location), kind) << location;
                EXPECT_TRUE(kn::IsRemoteLocation(location)) << location;
                EXPECT_NE(&kn::KindOfLocation("/srv/" + location), kind) << "a scheme inside a path";
                EXPECT_NE(&kn::KindOfLocation(scheme + "/h/x"), kind) << "one slash only";
            }
    }
    EXPECT_EQ(kn::KindOfLocation("/home/me").Name(), kinds.back()->Name());
}

// Passwords holding what a location's syntax uses, each put in the way a message carries it.
TEST(SideKinds, NoPasswordShowsInAnyText)
{
    // Each piece between the bytes a location's syntax uses is distinct, so that none may show.
    const char* const passwords[] = {"Pw0rd-7", "Zq@Xw:Vy9", "Sec7et/Tail Qj", "50%25off"};
    const char* const messages[] = {"Failed to copy \"{}\" to \"{}\".\r\n550 refused", "Searching... {}", "{}\t{}"};
    auto put = [](std::string message, const std::string& location) {
        for (std::size_t at = 0; (at = message.find("{}", at)) != std::string::npos; at += location.size())
            message.replace(at, 2, location);
        return message;
    };
    for (const kn::TKNSideKind* kind : kn::SideKinds())
        for (std::string_view scheme : kind->Schemes())
            for (const std::string password : passwords) {
                const std::string s(scheme), bare = s + "//kn@host:2121/a b/c";
                const std::string location = s + "//kn:" + password + "@host:2121/a b/c";
                for (const char* message : messages)
                    EXPECT_EQ(kn::HideLocationPasswords(put(message, location)), put(message, bare)) << location;
                const kn::TKNLocationPassword split = kn::SplitLocationPassword(location);
                EXPECT_EQ(split.Location, bare);
                EXPECT_EQ(split.Password, password) << location;
                EXPECT_EQ(kn::WithPassword(bare, password), location);
                EXPECT_EQ(kn::SecretKeyOf(location), s + "//kn@host:2121");
                EXPECT_EQ(kn::UserLackingPassword(bare), "kn@host:2121");
                // A location the kind cannot read fails with a message that keeps the password out.
                const std::string unreadable = s + "//kn:" + password + "@host:99999/x";
                const kn::TKNSideResult connected = kn::OpenSide(unreadable, {})->Connect();
                EXPECT_FALSE(connected) << unreadable;
                for (std::size_t at = 0, end; at < password.size(); at = end + 1) {
                    end = std::min(password.find_first_of("@:/ ", at), password.size());
                    EXPECT_EQ(connected.Message.find(password.substr(at, end - at)), std::string::npos)
                        << connected.Message;
                }
            }
    EXPECT_EQ(kn::HideLocationPasswords("/home/kn:pw@h/x"), "/home/kn:pw@h/x");
    EXPECT_EQ(kn::SecretKeyOf("/home/kn:pw@h/x"), "");
}

TEST(SideKinds, OnePasswordRuleAndTheTrustEachSchemeNeeds)
{
    for (const kn::TKNSideKind* kind : kn::SideKinds()) {
        const TKindFacts* facts = FactsOf(*kind);
        ASSERT_NE(facts, nullptr) << kind->Name();
        for (const TSchemeFacts& scheme : facts->Schemes) {
            const std::string s = scheme.Scheme;
            EXPECT_EQ(kn::AsksForPassword(s + "//kn@host/x"), scheme.AsksForUsersPassword) << s;
            EXPECT_FALSE(kn::AsksForPassword(s + "//kn:pw@host/x")) << s << ": a password is given";
            EXPECT_FALSE(kn::AsksForPassword(s + "//kn:@host/x")) << s << ": an empty one is given too";
            EXPECT_FALSE(kn::AsksForPassword(s + "//host/x")) << s << ": no user is named";
            EXPECT_EQ(kn::ServerTrustOf(s + "//host/x"), scheme.Trust) << s;
            kn::TKNServerIdentity identity;
            if (scheme.Trust == kn::TKNServerTrust::None) {
                EXPECT_FALSE(kn::ReadServerIdentity(s + "//host/x", identity)) << s << " reads nothing to trust";
            }
        }
    }
    EXPECT_FALSE(kn::AsksForPassword("/home/kn@h"));
    EXPECT_EQ(kn::ServerTrustOf("/home/kn@h"), kn::TKNServerTrust::None);
}

TEST(SideKinds, EveryFormIsOnTheListsOfLocations)
{
    const std::string text = kn::LocationForms(kn::TKNUsageFormat::Text);
    const std::string roff = kn::LocationForms(kn::TKNUsageFormat::Roff);
    const std::string html = kn::LocationForms(kn::TKNUsageFormat::Html);
    const std::string servers = kn::ServerKinds();
    std::set<std::string> trusted;
    const std::string trustedList = kn::TrustedSchemes() + ", ";
    for (std::size_t at = 0, comma; (comma = trustedList.find(", ", at)) != std::string::npos; at = comma + 2)
        if (comma > at) trusted.insert(trustedList.substr(at, comma - at));
    for (const kn::TKNSideKind* kind : kn::SideKinds()) {
        const std::vector<kn::TKNKindUsage> usage = kind->Usage();
        EXPECT_FALSE(usage.empty()) << kind->Name();
        for (const kn::TKNKindUsage& line : usage) {
            EXPECT_FALSE(line.Title.empty() || line.Meaning.empty()) << line.Form;
            const std::vector<std::string_view> schemes = kind->Schemes();
            const bool served = schemes.empty() || std::any_of(schemes.begin(), schemes.end(), [&](std::string_view s) {
                                    return line.Form.rfind(std::string(s) + "//", 0) == 0;
                                });
            EXPECT_TRUE(served) << line.Form << " begins with none of the schemes of " << kind->Name();
            EXPECT_NE(text.find("  " + line.Form + "\n"), std::string::npos) << line.Form;
            EXPECT_NE(roff.find(".B " + line.Form + "\n"), std::string::npos) << line.Form;  // no "-" in a form
            EXPECT_NE(html.find("<code>" + line.Form + "</code>"), std::string::npos) << line.Form;
            EXPECT_EQ(servers.find(line.Title) != std::string::npos, !kind->Schemes().empty()) << line.Title;
        }
        for (std::string_view scheme : kind->Schemes()) {
            const bool trusts = kind->Trust(std::string(scheme) + "//h/") != kn::TKNServerTrust::None;
            EXPECT_EQ(trusted.count(std::string(scheme) + "//"), trusts ? 1u : 0u) << scheme;
        }
    }
}

}  // namespace
}  // namespace sidetest
