#include "engine/kn_unitContentHash.h"

#include <openssl/evp.h>

#include <array>
#include <cctype>
#include <stdexcept>

namespace kn {

namespace {

std::array<uint32_t, 256> MakeCrcTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

const std::array<uint32_t, 256>& CrcTable()
{
    static const std::array<uint32_t, 256> table = MakeCrcTable();
    return table;
}

const EVP_MD* DigestOf(TKNHashKind kind)
{
    switch (kind) {
        case TKNHashKind::Sha256:
            return EVP_sha256();
        case TKNHashKind::Sha1:
            return EVP_sha1();
        case TKNHashKind::Md5:
            return EVP_md5();
        case TKNHashKind::Crc32:
            break;
    }
    return nullptr;
}

}  // namespace

struct TKNHasher::Digest {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    ~Digest() { EVP_MD_CTX_free(ctx); }
};

const char* HashKindName(TKNHashKind kind)
{
    switch (kind) {
        case TKNHashKind::Sha256:
            return "SHA-256";
        case TKNHashKind::Sha1:
            return "SHA-1";
        case TKNHashKind::Md5:
            return "MD5";
        case TKNHashKind::Crc32:
            break;
    }
    return "CRC32";
}

TKNHasher::TKNHasher(TKNHashKind kind) : kind_(kind)
{
    if (const EVP_MD* md = DigestOf(kind)) {
        digest_ = std::make_unique<Digest>();
        if (!digest_->ctx || EVP_DigestInit_ex(digest_->ctx, md, nullptr) != 1)
            throw std::runtime_error(std::string("Cannot start a ") + HashKindName(kind) + " digest");
    }
}

TKNHasher::~TKNHasher() = default;

void TKNHasher::Update(const char* data, std::size_t size)
{
    if (digest_) {
        EVP_DigestUpdate(digest_->ctx, data, size);
        return;
    }
    const auto& table = CrcTable();
    uint32_t c = crc_;
    for (std::size_t i = 0; i < size; ++i) c = table[(c ^ static_cast<unsigned char>(data[i])) & 0xFF] ^ (c >> 8);
    crc_ = c;
}

std::string TKNHasher::FinishHex()
{
    static const char digits[] = "0123456789abcdef";
    unsigned char raw[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (digest_) {
        EVP_DigestFinal_ex(digest_->ctx, raw, &length);
    } else {
        const uint32_t value = crc_ ^ 0xFFFFFFFFu;
        for (int i = 0; i < 4; ++i) raw[length++] = static_cast<unsigned char>(value >> (24 - 8 * i));
    }
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += digits[raw[i] >> 4];
        hex += digits[raw[i] & 15];
    }
    return hex;
}

}  // namespace kn
