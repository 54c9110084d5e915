#include "s3/kn_unitS3Location.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "framework/vex_unitText.h"
#include "http/kn_unitHttpAuthority.h"
#include "s3/kn_unitS3Kind.h"
#include "side/kn_unitSideKind.h"
#include "side/kn_unitSidePath.h"

namespace kn {

namespace {

std::string Trimmed(std::string text)
{
    const std::size_t begin = text.find_first_not_of(" \t\r");
    const std::size_t end = text.find_last_not_of(" \t\r");
    return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

// The keys of `profile` in an ini-style credentials file; false when it has none.
bool ReadCredentialsFile(const std::string& file, const std::string& profile, std::string& key, std::string& secret)
{
    std::ifstream in(file);
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
        line = Trimmed(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line.front() == '[') {
            inside = line.back() == ']' && Trimmed(line.substr(1, line.size() - 2)) == profile;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inside || eq == std::string::npos) continue;
        const std::string name = Trimmed(line.substr(0, eq)), value = Trimmed(line.substr(eq + 1));
        if (name == "aws_access_key_id") key = value;
        if (name == "aws_secret_access_key") secret = value;
    }
    return !key.empty() && !secret.empty();
}

// The standard variables, else the shared credentials file.
bool FindAmbientCredentials(std::string& key, std::string& secret)
{
    const char* envKey = std::getenv("AWS_ACCESS_KEY_ID");
    const char* envSecret = std::getenv("AWS_SECRET_ACCESS_KEY");
    if (envKey && *envKey && envSecret && *envSecret) {
        key = envKey;
        secret = envSecret;
        return true;
    }
    const char* home = std::getenv("HOME");
    const char* profile = std::getenv("AWS_PROFILE");
    if (!home) return false;
    return ReadCredentialsFile(std::string(home) + "/.aws/credentials", profile && *profile ? profile : "default", key,
                               secret);
}

void ParseOptions(std::string_view options, const std::string& shown, TKNS3Location& result)
{
    for (std::size_t start = 0; start < options.size();) {
        const std::size_t end = std::min(options.find(';', start), options.size());
        const std::string option(options.substr(start, end - start));
        start = end + 1;
        if (option.empty()) continue;
        if (vex::UpperCaseAscii(option) == "HTTP") {
            result.Endpoint.Tls = false;
        } else if (vex::UpperCaseAscii(option.substr(0, 7)) == "REGION=" && option.size() > 7 &&
                   option.find_first_of(":/ ") == std::string::npos) {
            result.Region = option.substr(7);
        } else {
            throw TKNS3Error("Unknown option \"" + option + "\" in the object store location \"" + shown + "\"");
        }
    }
}

}  // namespace

std::size_t S3OptionsStart(std::string_view location)
{
    return std::min(location.find(';'), location.size());
}

TKNS3Location ParseS3Location(const std::string& location, bool credentials)
{
    const TKNSideKind& kind = S3SideKind();
    const std::size_t scheme = SchemeLength(kind, location);
    if (scheme == 0) throw TKNS3Error("Not an object store location: \"" + HideS3Secrets(location) + "\"");
    TKNS3Location result;
    result.Endpoint.Tls = true;
    const TKNCredentialsAt at = kind.FindCredentials(location);
    std::string user;
    std::size_t hostBegin = scheme;
    if (at.NamesUser()) {
        const std::size_t userEnd = at.GivesPassword() ? at.Colon : at.At;
        result.NamesKey = true;
        result.Endpoint.User = vex::PercentDecoded(location.substr(scheme, userEnd - scheme));
        user = location.substr(scheme, userEnd - scheme) + "@";
        if (at.GivesPassword())
            result.Endpoint.Password = vex::PercentDecoded(location.substr(at.Colon + 1, at.At - at.Colon - 1));
        else if (const char* given = std::getenv(kPasswordVariable))
            result.Endpoint.Password = given;
        hostBegin = at.At + 1;
    }
    const std::size_t optionsAt = S3OptionsStart(location);
    const std::size_t hostEnd = std::min(at.HostEnd, optionsAt);
    const std::string authority = location.substr(hostBegin, hostEnd - hostBegin);
    std::string path = location.substr(hostEnd, optionsAt - hostEnd);
    std::replace(path.begin(), path.end(), '\\', '/');
    while (!path.empty() && path.back() == '/') path.pop_back();
    result.Shown = "s3://" + user + authority + path + location.substr(optionsAt);
    ParseOptions(std::string_view(location).substr(std::min(optionsAt + 1, location.size())), result.Shown, result);
    if (const std::string problem = ParseHostPort(authority, result.Endpoint); !problem.empty())
        throw TKNS3Error(problem + " in the object store location \"" + result.Shown + "\"");
    std::vector<std::string> names;
    for (std::size_t start = 0; start < path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        if (end > start) {
            std::string name = vex::PercentDecoded(path.substr(start, end - start));
            if (const std::string problem = NameProblem(name); !problem.empty())
                throw TKNS3Error(problem + " (in the object store location \"" + result.Shown + "\")");
            names.push_back(std::move(name));
        }
        start = end + 1;
    }
    if (names.empty()) throw TKNS3Error("No bucket in the object store location \"" + result.Shown + "\"");
    result.Bucket = names.front();
    result.Prefix.assign(names.begin() + 1, names.end());
    if (credentials && !result.NamesKey && !FindAmbientCredentials(result.Endpoint.User, result.Endpoint.Password))
        throw TKNS3Error("No access key for \"" + result.Shown +
                         "\": name one in the location, or set AWS_ACCESS_KEY_ID and AWS_SECRET_ACCESS_KEY.");
    result.Endpoint.HasUser = true;
    result.Endpoint.Sigv4 = "aws:amz:" + result.Region + ":s3";
    return result;
}

std::string HideS3Secrets(std::string_view text)
{
    return HideKindPasswords(text, {&S3SideKind()});
}

std::string S3Key(const std::vector<std::string>& names, bool folder)
{
    std::string key;
    for (const std::string& name : names) key += (key.empty() ? "" : "/") + name;
    if (folder && !key.empty()) key += "/";
    return key;
}

std::string S3Target(const std::string& bucket, const std::string& key)
{
    std::string target = "/" + vex::PercentEncoded(bucket) + "/";
    for (std::size_t start = 0; start < key.size();) {
        const std::size_t end = std::min(key.find('/', start), key.size());
        target += vex::PercentEncoded(key.substr(start, end - start));
        if (end < key.size()) target += "/";
        start = end + 1;
    }
    return target;
}

}  // namespace kn
