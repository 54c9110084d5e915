// Checksums an FTP server computes where its files are, so that a file need not be downloaded
// to be compared. The server's FEAT reply names them: "HASH SHA-256*;SHA-1;MD5" offers the HASH
// command (selected with "OPTS HASH <name>", answered "213 <name> <range> <hex> <path>"); the
// words XSHA256, XSHA1, XMD5 and XCRC offer those commands (answered "250 <hex>" or "213 <hex>").
// Many servers answer the X commands without naming them: where FEAT names no checksum, the
// commands are tried once on the first file asked about, strongest first, and the first that
// answers with a digest is used from then on; one refused as unknown (500, 502) is not asked
// again. A server that answers none offers no hashes, and its files are streamed instead.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/kn_unitIdFTP.h"

namespace kn {

// The first blank-separated word of `text` made of exactly `hexLength` hex digits,
// lower-cased; empty when there is none. Example: "213 SHA-256 0-9 2CF2... f.txt" gives
// "2cf2..." for 64 (neither "213" nor "0-9" is 64 digits long).
std::string FindHexDigest(std::string_view text, std::size_t hexLength);

class TKNFtpHashes {
public:
    // The functions ("sha256", "sha1", "md5", "crc32") the server hashes `serverPath` with,
    // best first. Reads FEAT on first use, and tries the unnamed commands on this file while
    // FEAT named none. Throws the client's errors.
    std::vector<std::string> Offered(TKNIdFTP& ftp, const std::string& serverPath);
    // The digest of `serverPath` by `function`, one of Offered; false with `reason`.
    bool Hash(TKNIdFTP& ftp, const std::string& serverPath, const std::string& function, std::string& hex,
              std::string& reason);

private:
    void TakeFeatures(const TKNFtpReply& feat);
    void Probe(TKNIdFTP& ftp, const std::string& serverPath);

    bool featRead_ = false;
    bool hashOffered_[4] = {};
    bool commandOffered_[4] = {};
    // The probe of unnamed commands: on while FEAT named none and some are not yet refused.
    bool probing_ = false;
    bool refused_[4] = {};
    std::string probedPath_;  // the file last probed with
    std::size_t probedKind_ = 0;
    std::string probedHex_;  // its digest, until Hash takes it
    // The function OPTS HASH last chose on each connection.
    std::map<const TKNIdFTP*, std::size_t> selected_;
};

}  // namespace kn
