#pragma once
// Whether a Windows image carries an intact Authenticode signature made with
// a given key: the check the release tool makes before it publishes an
// executable, so that a release never holds a program that a launcher
// pinned to its publisher's key would refuse to start.
#include <string>

namespace klv::release {

enum class SignatureVerdict {
    SignedWithKey,  // intact, and its signer's public key is the certificate's
    OtherKey,       // intact, but signed with another key
    Unsigned,       // no signature at all
    Damaged,        // a signature whose digest or signed data does not hold
};

// The verdict for the image `bytes` against the PEM certificate at
// `certificatePath` (only its public key counts: a renewed certificate of the
// same key is the same publisher). Raises std::runtime_error when the
// certificate cannot be read.
SignatureVerdict CheckSignature(const std::string& bytes, const std::string& certificatePath);

const char* VerdictText(SignatureVerdict verdict);

}  // namespace klv::release
