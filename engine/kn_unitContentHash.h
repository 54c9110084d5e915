// The hash functions of servers' checksum commands, computed here over a local file's bytes so
// that a local file can be compared with a remote one by digest. SHA-256, SHA-1 and MD5 come
// from OpenSSL's libcrypto; CRC-32 is the one of zip and PNG (reflected polynomial 0xEDB88320,
// initial value and final XOR 0xFFFFFFFF), computed here with a 256-entry table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kn {

enum class TKNHashKind : uint8_t { Sha256, Sha1, Md5, Crc32 };

// "SHA-256", "SHA-1", "MD5", "CRC32": the names the HASH command uses.
const char* HashKindName(TKNHashKind kind);

// Digests bytes fed in any number of pieces. Example: CRC-32 of "123456789" is "cbf43926".
class TKNHasher {
public:
    explicit TKNHasher(TKNHashKind kind);
    ~TKNHasher();
    TKNHasher(const TKNHasher&) = delete;
    TKNHasher& operator=(const TKNHasher&) = delete;

    void Update(const char* data, std::size_t size);
    // The digest in lower-case hex (8 digits for CRC-32); the hasher is spent afterwards.
    std::string FinishHex();

private:
    TKNHashKind kind_;
    uint32_t crc_ = 0xFFFFFFFFu;
    struct Digest;
    std::unique_ptr<Digest> digest_;
};

}  // namespace kn
