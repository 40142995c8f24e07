#include "platform/certificate_key.h"

#include <cstddef>
#include <cstdint>

namespace klv::platform {
namespace {

constexpr unsigned char kSequence = 0x30;
constexpr unsigned char kInteger = 0x02;
constexpr unsigned char kBitString = 0x03;
constexpr unsigned char kVersionTag = 0xA0;  // [0] EXPLICIT, constructed

struct Element {
    unsigned char tag = 0;
    std::string_view whole;  // tag, length and content
    std::string_view content;
};

// Takes one DER element off the front of `in`. Only the forms a certificate's
// outer structure uses: a one-byte tag and a definite length of at most four
// bytes in its shortest form. Everything is checked against what is left of
// `in` before it is read.
bool Take(std::string_view& in, Element& out) {
    if (in.size() < 2) return false;
    const auto tag = static_cast<unsigned char>(in[0]);
    if ((tag & 0x1F) == 0x1F) return false;  // a tag number in further bytes
    const auto first = static_cast<unsigned char>(in[1]);
    std::size_t header = 2;
    std::uint32_t length = first;
    if (first & 0x80) {
        const std::size_t count = first & 0x7F;
        if (count == 0 || count > 4 || in.size() - 2 < count) return false;  // indefinite or too long
        length = 0;
        for (std::size_t i = 0; i < count; ++i) length = length << 8 | static_cast<unsigned char>(in[2 + i]);
        // The shortest form only: no leading zero byte, no long form for
        // what the short form holds.
        if (static_cast<unsigned char>(in[2]) == 0 || length < 0x80) return false;
        header += count;
    }
    if (length > in.size() - header) return false;
    out.tag = tag;
    out.whole = in.substr(0, header + length);
    out.content = in.substr(header, length);
    in.remove_prefix(header + length);
    return true;
}

bool TakeTagged(std::string_view& in, unsigned char tag, Element& out) {
    return Take(in, out) && out.tag == tag;
}

}  // namespace

std::optional<std::string_view> CertificatePublicKey(std::string_view der) {
    // Certificate ::= SEQUENCE { tbsCertificate, signatureAlgorithm, signatureValue }
    Element certificate, tbs, algorithm, signature;
    if (!TakeTagged(der, kSequence, certificate) || !der.empty()) return std::nullopt;
    std::string_view body = certificate.content;
    if (!TakeTagged(body, kSequence, tbs) || !TakeTagged(body, kSequence, algorithm) ||
        !TakeTagged(body, kBitString, signature) || !body.empty())
        return std::nullopt;

    // TBSCertificate ::= SEQUENCE { [0] version OPTIONAL, serialNumber,
    // signature, issuer, validity, subject, subjectPublicKeyInfo, ... }
    std::string_view fields = tbs.content;
    Element field;
    if (!fields.empty() && static_cast<unsigned char>(fields[0]) == kVersionTag && !Take(fields, field))
        return std::nullopt;
    if (!TakeTagged(fields, kInteger, field)) return std::nullopt;
    for (int i = 0; i < 4; ++i)  // signature, issuer, validity, subject
        if (!TakeTagged(fields, kSequence, field)) return std::nullopt;
    Element key;
    if (!TakeTagged(fields, kSequence, key)) return std::nullopt;

    // SubjectPublicKeyInfo ::= SEQUENCE { algorithm, subjectPublicKey BIT STRING }
    std::string_view parts = key.content;
    Element keyAlgorithm, keyBits;
    if (!TakeTagged(parts, kSequence, keyAlgorithm) || !TakeTagged(parts, kBitString, keyBits) || !parts.empty())
        return std::nullopt;
    return key.whole;
}

bool SamePublicKey(std::string_view a, std::string_view b) {
    const auto keyA = CertificatePublicKey(a);
    const auto keyB = CertificatePublicKey(b);
    return keyA && keyB && *keyA == *keyB;
}

}  // namespace klv::platform
