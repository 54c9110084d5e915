#include "ftp/kn_unitFtpHashes.h"

#include <algorithm>
#include <cctype>

#include "framework/vex_unitText.h"

namespace kn {

namespace {

// The functions in order of preference, with their names in HASH, their X commands and the
// length of their digests in hex.
struct TFunction {
    const char* Word;
    const char* HashName;
    const char* Command;
    std::size_t HexLength;
};
constexpr TFunction kFunctions[] = {
    {"sha256", "SHA-256", "XSHA256", 64},
    {"sha1", "SHA-1", "XSHA1", 40},
    {"md5", "MD5", "XMD5", 32},
    {"crc32", "CRC32", "XCRC", 8},
};
constexpr std::size_t kCount = std::size(kFunctions);

std::size_t IndexOf(const std::string& word)
{
    for (std::size_t i = 0; i < kCount; ++i)
        if (word == kFunctions[i].Word) return i;
    return kCount;
}

// The digest in a checksum reply, after its code; empty when it holds none.
std::string DigestOf(const TKNFtpReply& reply, std::size_t kind)
{
    return FindHexDigest(std::string_view(reply.Text).substr(std::min<std::size_t>(reply.Text.size(), 4)),
                         kFunctions[kind].HexLength);
}

// The reply to `command`, whatever its code; none in time, or a server closing the
// connection, is a failure of the connection and thrown.
TKNFtpReply AnyReply(TKNIdFTP& ftp, const std::string& command)
{
    try {
        return ftp.SendCmd(command, {200, 213, 250});
    } catch (const TKNFtpReplyError& e) {
        if (e.Code == 0 || e.Code == 421) throw;
        return TKNFtpReply{e.Code, e.what()};
    }
}

}  // namespace

std::string FindHexDigest(std::string_view text, std::size_t hexLength)
{
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
        std::size_t end = i;
        while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
        const std::string_view word = text.substr(i, end - i);
        const bool hex = word.size() == hexLength && std::all_of(word.begin(), word.end(), [](char c) {
                             return std::isxdigit(static_cast<unsigned char>(c));
                         });
        if (hex) {
            std::string digest;
            for (char c : word) digest += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return digest;
        }
        i = end;
    }
    return {};
}

std::vector<std::string> TKNFtpHashes::Offered(TKNIdFTP& ftp, const std::string& serverPath)
{
    if (!featRead_) {
        featRead_ = true;
        TakeFeatures(ftp.SendCmd("FEAT", {211, 500, 502}));
        probing_ = std::none_of(std::begin(hashOffered_), std::end(hashOffered_), [](bool b) { return b; }) &&
                   std::none_of(std::begin(commandOffered_), std::end(commandOffered_), [](bool b) { return b; });
    }
    if (probing_) Probe(ftp, serverPath);
    std::vector<std::string> words;
    for (std::size_t i = 0; i < kCount; ++i)
        if (hashOffered_[i] || commandOffered_[i]) words.emplace_back(kFunctions[i].Word);
    return words;
}

bool TKNFtpHashes::Hash(TKNIdFTP& ftp, const std::string& serverPath, const std::string& function, std::string& hex,
                        std::string& reason)
{
    const std::size_t kind = IndexOf(function);
    if (kind == kCount) {
        reason = "The FTP server computes no " + function + " hashes.";
        return false;
    }
    if (!probedHex_.empty() && probedPath_ == serverPath && probedKind_ == kind) {
        hex = std::move(probedHex_);
        probedHex_.clear();
        return true;
    }
    try {
        TKNFtpReply reply;
        if (hashOffered_[kind]) {
            auto selected = selected_.find(&ftp);
            if (selected == selected_.end() || selected->second != kind) {
                ftp.SendCmd(std::string("OPTS HASH ") + kFunctions[kind].HashName, {200});
                selected_[&ftp] = kind;
            }
            reply = ftp.SendCmd("HASH " + serverPath, {213});
        } else {
            reply = ftp.SendCmd(std::string(kFunctions[kind].Command) + " " + serverPath, {213, 250});
        }
        hex = DigestOf(reply, kind);
        if (!hex.empty()) return true;
        reason =
            "The FTP server's checksum reply holds no " + std::string(kFunctions[kind].HashName) + ": " + reply.Text;
    } catch (const std::exception& e) {
        reason = e.what();
    }
    return false;
}

void TKNFtpHashes::TakeFeatures(const TKNFtpReply& feat)
{
    if (feat.Code != 211) return;
    std::size_t start = 0;
    while (start < feat.Text.size()) {
        std::size_t end = feat.Text.find('\n', start);
        if (end == std::string::npos) end = feat.Text.size();
        const std::string raw = feat.Text.substr(start, end - start);
        start = end + 1;
        const std::size_t first = raw.find_first_not_of(" \t"), last = raw.find_last_not_of(" \t\r");
        if (first == std::string::npos) continue;
        const std::string line = vex::UpperCaseAscii(raw.substr(first, last - first + 1));
        // One FEAT line: "HASH SHA-256*;MD5" or a command word.
        for (std::size_t i = 0; i < kCount; ++i) {
            if (line == kFunctions[i].Command) commandOffered_[i] = true;
            if (line.rfind("HASH ", 0) != 0) continue;
            const std::string names = ";" + line.substr(5) + ";", name = kFunctions[i].HashName;
            if (names.find(";" + name + ";") != std::string::npos || names.find(";" + name + "*;") != std::string::npos)
                hashOffered_[i] = true;
        }
    }
}

// Tries the commands FEAT did not name on `serverPath`, strongest first, until one gives a
// digest; that digest serves the file's Hash. A reply other than a digest or an unknown command
// (a missing file, a busy server) decides nothing.
void TKNFtpHashes::Probe(TKNIdFTP& ftp, const std::string& serverPath)
{
    if (serverPath == probedPath_) return;  // asked for this file already
    probedPath_ = serverPath;
    for (std::size_t i = 0; i < kCount; ++i) {
        if (refused_[i]) continue;
        const TKNFtpReply reply = AnyReply(ftp, std::string(kFunctions[i].Command) + " " + serverPath);
        const bool positive = reply.Code / 100 == 2;
        const std::string hex = positive ? DigestOf(reply, i) : std::string();
        if (!hex.empty()) {
            commandOffered_[i] = true;
            probing_ = false;
            probedKind_ = i;
            probedHex_ = hex;
            return;
        }
        if (reply.Code == 500 || reply.Code == 502 || positive) refused_[i] = true;
    }
    probing_ = std::find(std::begin(refused_), std::end(refused_), false) != std::end(refused_);
}

}  // namespace kn
