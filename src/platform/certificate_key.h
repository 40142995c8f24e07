#pragma once
// Who a signer is, for the launcher: the public key its certificate carries.
// Names, serial numbers and dates change when a publisher renews its
// certificate; the key is what signed the file. Portable, so that the rule is
// tested natively on certificates taken from real signed files.
#include <optional>
#include <string_view>

namespace klv::platform {

// The SubjectPublicKeyInfo of the X.509 certificate `der` (its whole DER
// element: tag, length and content), pointing into `der`; nullopt when `der`
// is not exactly one well-formed DER certificate. The reader is strict
// (definite, minimal lengths; the certificate's fields in their order; nothing
// after it) and never reads outside `der`: a certificate comes from a file
// that anyone may have sent, and the key found here must be the one the
// system checked the signature with.
std::optional<std::string_view> CertificatePublicKey(std::string_view der);

// Whether the DER certificates `a` and `b` carry the same public key (the same
// SubjectPublicKeyInfo, byte for byte). False when either is not a certificate.
bool SamePublicKey(std::string_view a, std::string_view b);

}  // namespace klv::platform
