#pragma once
// The launcher runs with administrator rights and fetches programs over plain
// HTTP, so it starts only what its own publisher signed. The publisher is
// pinned by the running launcher's signature: a file is trusted when the
// system accepts its Authenticode signature (digest intact, signature valid,
// checked without any user interface and without fetching revocation lists)
// and its signer's certificate carries the same public key as the running
// launcher's signer (SamePublicKey: a renewed certificate of that key is the
// same publisher, another key under the same name is not). A launcher that
// carries no signature pins nothing, and every file counts as trusted, for
// the vendors who do not sign.
//
// Only the primary signature counts, of the launcher and of every checked
// file: a nested signature is an unauthenticated attribute of the primary
// one, which anyone who can alter the file on its way may add.
#include <string>

namespace klv::platform {

// The pin: who signed the running launcher.
struct Publisher {
    enum class Kind {
        Unsigned,  // no signature at all: no pin, every file is trusted
        Pinned,    // a signature the system accepts: `certificate` is its signer's
        Broken,    // a signature (or a certificate table) that does not verify:
                   // the launcher itself was altered, or the system refuses its
                   // certificate. Nothing is trusted: switching the pin off
                   // because a signature went bad would let an altered
                   // launcher start anything.
    };
    Kind kind = Kind::Unsigned;
    std::string certificate;  // DER of the signer's certificate when Pinned
    // DER of the certificate of the key that the publisher moves to, when
    // the signed image names one (the resource kSuccessorResourceName): a
    // file signed with that key is the same publisher's. Set only when
    // Pinned, since only then does the signature vouch for the resource.
    std::string successor;
    std::string reason;  // why Broken, in a few words
};

// The resource (type RCDATA) in which a launcher names its publisher's next
// key: one release carries it, signed with the old key, so that launchers of
// that release accept the next ones, signed with the new key only.
inline constexpr char kSuccessorResourceName[] = "KLVNEXTKEY";

// The running launcher's publisher, from its own executable file. It does not
// change while the process runs: read it once.
Publisher RunningPublisher();

// The publisher that the file at `path` would pin if it were the running
// launcher (RunningPublisher is this of the launcher's own file).
Publisher PublisherOf(const std::string& path);

enum class Trust {
    Trusted,         // signed by the pinned publisher, or no pin
    Unsigned,        // carries no signature
    Altered,         // its content does not match its signature, or the signature is damaged
    Refused,         // well formed, but the system refuses it (untrusted root, expired, revoked...)
    OtherPublisher,  // a valid signature made with another key
    NoPublisher,     // the running launcher's own signature does not verify: nothing is trusted
    CannotOpen,      // the file cannot be opened for reading without write or delete sharing
};

// A checked file, held open for reading with read sharing only (no write, no
// delete, no rename) from before its signature is checked until this object
// is destroyed: the caller starts the program while it is alive, so that what
// starts is what was checked. Move-only.
class CheckedFile {
public:
    CheckedFile(Trust verdict, std::string reason, void* handle);
    CheckedFile(CheckedFile&& other) noexcept;
    CheckedFile& operator=(CheckedFile&& other) noexcept;
    CheckedFile(const CheckedFile&) = delete;
    CheckedFile& operator=(const CheckedFile&) = delete;
    ~CheckedFile();

    Trust Verdict() const { return verdict_; }
    bool Trusted() const { return verdict_ == Trust::Trusted; }
    // A short English reason, naming the system's code where there is one,
    // e.g. "signed by another publisher" or "its content does not match its
    // signature (0x80096010)".
    const std::string& Reason() const { return reason_; }
    // The open file (a Windows HANDLE), null when it could not be opened or
    // on a system without share modes.
    void* Handle() const { return handle_; }
    // Closes the file now (the destructor does it otherwise).
    void Release();

private:
    Trust verdict_;
    std::string reason_;
    void* handle_;
};

// Opens `path` (8-bit ANSI text), checks it against `pin` through the open
// handle and returns it held. With no pin the file is only opened and held:
// Trusted, or CannotOpen. Never raises.
CheckedFile CheckPublisher(const std::string& path, const Publisher& pin);

}  // namespace klv::platform
