#include "authenticode.h"

#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>

#include "pe/pe_image.h"
#include "platform/certificate_key.h"

namespace klv::release {
namespace {

template <class T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using Pkcs7Ptr = std::unique_ptr<PKCS7, Freer<PKCS7, PKCS7_free>>;
using X509Ptr = std::unique_ptr<X509, Freer<X509, X509_free>>;
using SigPtr = std::unique_ptr<X509_SIG, Freer<X509_SIG, X509_SIG_free>>;
using BioPtr = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, Freer<EVP_MD_CTX, EVP_MD_CTX_free>>;
void FreeSigners(STACK_OF(X509) * s) {
    sk_X509_free(s);
}

std::uint32_t U32(const std::string& b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
std::uint16_t U16(const std::string& b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

// The image's headers, when its certificate table lies inside the file.
std::optional<PeImage> ReadLayout(const std::string& b) {
    auto image = ReadPeImage(b);
    if (!image) return std::nullopt;
    const std::size_t table = image->certificateTableOffset;
    if (table != 0 && (table > b.size() || image->certificateTableSize > b.size() - table)) return std::nullopt;
    return image;
}

// The image's Authenticode digest: every byte but the checksum, the
// certificate table's directory entry and the table itself.
std::string ImageDigest(const std::string& b, const PeImage& image, const EVP_MD* md) {
    MdCtxPtr ctx(EVP_MD_CTX_new());
    const std::size_t checksum = image.checksumOffset;
    const std::size_t entry = image.certificateEntryOffset;
    const std::size_t tableStart = image.certificateTableOffset != 0 ? image.certificateTableOffset : b.size();
    const std::size_t tableEnd = image.certificateTableOffset != 0 ? tableStart + image.certificateTableSize : b.size();
    EVP_DigestInit_ex(ctx.get(), md, nullptr);
    EVP_DigestUpdate(ctx.get(), b.data(), checksum);
    EVP_DigestUpdate(ctx.get(), b.data() + checksum + 4, entry - checksum - 4);
    EVP_DigestUpdate(ctx.get(), b.data() + entry + 8, tableStart - entry - 8);
    EVP_DigestUpdate(ctx.get(), b.data() + tableEnd, b.size() - tableEnd);
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_DigestFinal_ex(ctx.get(), out, &n);
    return std::string(reinterpret_cast<char*>(out), n);
}

// Steps `p` past the DER header (tag and length) of the element there and
// gives the length of its content; false when no element starts there.
bool SkipHeader(const unsigned char*& p, long size, long& length) {
    const unsigned char* q = p;
    int tag = 0, cls = 0;
    if (ASN1_get_object(&q, &length, &tag, &cls, size) & 0x80) return false;
    p = q;
    return true;
}

X509Ptr ReadCertificate(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw std::runtime_error("cannot read the certificate " + path);
    X509Ptr certificate(PEM_read_X509(f, nullptr, nullptr, nullptr));
    std::fclose(f);
    if (!certificate) throw std::runtime_error("no PEM certificate in " + path);
    return certificate;
}

std::string Der(X509* certificate) {
    unsigned char* out = nullptr;
    const int n = i2d_X509(certificate, &out);
    std::string der = n > 0 ? std::string(reinterpret_cast<char*>(out), static_cast<std::size_t>(n)) : std::string();
    OPENSSL_free(out);
    return der;
}

}  // namespace

SignatureVerdict CheckSignature(const std::string& bytes, const std::string& certificatePath) {
    const X509Ptr pinned = ReadCertificate(certificatePath);

    const auto layout = ReadLayout(bytes);
    if (!layout || layout->certificateTableOffset == 0 || layout->certificateTableSize < 8)
        return SignatureVerdict::Unsigned;
    // WIN_CERTIFICATE: length, revision, type 2 (PKCS #7 signed data), DER.
    const std::size_t table = layout->certificateTableOffset;
    const std::size_t length = U32(bytes, table);
    if (U16(bytes, table + 6) != 2 || length < 8 || length > layout->certificateTableSize)
        return SignatureVerdict::Damaged;
    const auto* der = reinterpret_cast<const unsigned char*>(bytes.data() + table + 8);
    Pkcs7Ptr p7(d2i_PKCS7(nullptr, &der, static_cast<long>(length - 8)));
    if (!p7 || !PKCS7_type_is_signed(p7.get()) || !p7->d.sign->contents || !p7->d.sign->contents->d.other ||
        p7->d.sign->contents->d.other->type != V_ASN1_SEQUENCE)
        return SignatureVerdict::Damaged;

    // SpcIndirectDataContent: SEQUENCE { SpcAttributeTypeAndOptionalValue,
    // DigestInfo }. The DigestInfo names the image's digest.
    const ASN1_STRING* content = p7->d.sign->contents->d.other->value.sequence;
    const unsigned char* seq = ASN1_STRING_get0_data(content);
    const long seqSize = ASN1_STRING_length(content);
    const unsigned char* body = seq;
    long bodyLength = 0, attributeLength = 0;
    if (!SkipHeader(body, seqSize, bodyLength)) return SignatureVerdict::Damaged;
    const long outer = static_cast<long>(body - seq);
    const unsigned char* attribute = body;
    if (!SkipHeader(attribute, seqSize - outer, attributeLength)) return SignatureVerdict::Damaged;
    const unsigned char* digestInfo = attribute + attributeLength;
    if (digestInfo > seq + seqSize) return SignatureVerdict::Damaged;
    SigPtr sig(d2i_X509_SIG(nullptr, &digestInfo, static_cast<long>(seq + seqSize - digestInfo)));
    if (!sig) return SignatureVerdict::Damaged;
    const X509_ALGOR* algorithm = nullptr;
    const ASN1_OCTET_STRING* digest = nullptr;
    X509_SIG_get0(sig.get(), &algorithm, &digest);
    const ASN1_OBJECT* algorithmId = nullptr;
    X509_ALGOR_get0(&algorithmId, nullptr, nullptr, algorithm);
    const EVP_MD* md = EVP_get_digestbyobj(algorithmId);
    if (!md) return SignatureVerdict::Damaged;
    const std::string expected(reinterpret_cast<const char*>(ASN1_STRING_get0_data(digest)),
                               static_cast<std::size_t>(ASN1_STRING_length(digest)));
    if (ImageDigest(bytes, *layout, md) != expected) return SignatureVerdict::Damaged;

    // The signer's signature over that content (its value, without the
    // SEQUENCE header), checked with the certificates the signature carries;
    // who the signer is decides below, by key, not by any chain of trust.
    BioPtr signedContent(BIO_new_mem_buf(seq + outer, static_cast<int>(seqSize - outer)));
    if (PKCS7_verify(p7.get(), nullptr, nullptr, signedContent.get(), nullptr, PKCS7_NOVERIFY | PKCS7_BINARY) != 1)
        return SignatureVerdict::Damaged;
    std::unique_ptr<STACK_OF(X509), Freer<STACK_OF(X509), FreeSigners>> signers(
        PKCS7_get0_signers(p7.get(), nullptr, 0));
    if (!signers || sk_X509_num(signers.get()) != 1) return SignatureVerdict::Damaged;
    // The same rule as the launcher's, in the same code: one public key, byte
    // for byte, whatever the certificates' names and dates.
    return platform::SamePublicKey(Der(sk_X509_value(signers.get(), 0)), Der(pinned.get()))
               ? SignatureVerdict::SignedWithKey
               : SignatureVerdict::OtherKey;
}

const char* VerdictText(SignatureVerdict verdict) {
    switch (verdict) {
        case SignatureVerdict::SignedWithKey:
            return "signed with the given key";
        case SignatureVerdict::OtherKey:
            return "signed with another key";
        case SignatureVerdict::Unsigned:
            return "not signed";
        case SignatureVerdict::Damaged:
            return "its signature does not match its content";
    }
    return "";
}

}  // namespace klv::release
