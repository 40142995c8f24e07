#include "platform/publisher_trust.h"

#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

#include "pe/pe_image.h"
#include "platform/certificate_key.h"
#include "platform/own_process.h"
#include "platform/win32/scoped_win.h"
#include "platform/win32/wide_text.h"

namespace klv::platform {
namespace {

// The certificate that the image at `path` names as its publisher's next
// key, when it holds one that reads as a certificate; empty otherwise. The
// image is mapped as data only: nothing of it runs.
std::string SuccessorCertificateOf(const std::string& path) {
    const ScopedModule image(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!image) return {};
    std::string der;
    if (HRSRC found = FindResourceA(image.get(), kSuccessorResourceName, MAKEINTRESOURCEA(10))) {  // RT_RCDATA
        const DWORD size = SizeofResource(image.get(), found);
        HGLOBAL loaded = LoadResource(image.get(), found);
        const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
        if (bytes != nullptr && size > 0) der.assign(static_cast<const char*>(bytes), size);
    }
    if (!CertificatePublicKey(der)) der.clear();
    return der;
}

std::string WithCode(const char* text, LONG code) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "%s (0x%08lX)", text, static_cast<unsigned long>(code));
    return buffer;
}

// Read sharing only: while the handle is open nobody can write the file,
// delete it or rename it (both ask for delete access), yet the system can
// still map it to start it.
ScopedHandle OpenHeld(const std::string& path) {
    return ScopedHandle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Whether the image names a certificate table (its security directory entry
// is not empty). Read from the open handle, from the start; false when the
// file is no PE image. The reader wants the section table whole as well as
// the directory, so the window is wide enough for any header a linker
// writes: a table it cut off would read as no signature and unpin.
bool HasCertificateTable(HANDLE file) {
    std::vector<char> head(64 * 1024);
    DWORD got = 0;
    OVERLAPPED at{};  // offset 0, whatever the handle's position
    if (!ReadFile(file, head.data(), static_cast<DWORD>(head.size()), &got, &at)) return false;
    const auto image = ReadPeImage(std::string_view(head.data(), got));
    return image && (image->certificateTableOffset != 0 || image->certificateTableSize != 0);
}

// One WinVerifyTrust run over the open file. The state is always closed; the
// signer's certificate is copied out before that.
struct Verification {
    LONG status = 0;
    std::string signer;  // DER of the primary signer's certificate, when status is 0
};

Verification Verify(const std::string& path, HANDLE file) {
    std::wstring widePath = WidenAnsi(path);
    WINTRUST_FILE_INFO fileInfo{};
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = widePath.c_str();
    fileInfo.hFile = file;  // what is checked is what is held

    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    // No revocation check and no fetching of anything over the network: the
    // launcher may run where there is none, and must not hang on it.
    data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
    data.dwUIContext = WTD_UICONTEXT_EXECUTE;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    Verification out;
    // Wine accepts a signature whose self-signed root it does not know (it
    // does not check the root); Windows answers CERT_E_UNTRUSTEDROOT for it.
    // A vendor's certificate chains to a trusted root, and the rule stays
    // "the system accepts it": the pin below is what binds it to us.
    out.status = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    if (out.status == ERROR_SUCCESS) {
        CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data.hWVTStateData);
        CRYPT_PROVIDER_SGNR* signer = provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
        CRYPT_PROVIDER_CERT* cert = signer ? WTHelperGetProvCertFromChain(signer, 0) : nullptr;
        if (cert && cert->pCert && cert->pCert->pbCertEncoded)
            out.signer.assign(reinterpret_cast<const char*>(cert->pCert->pbCertEncoded), cert->pCert->cbCertEncoded);
    }
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return out;
}

// The verdict for a signature the system did not accept. The signature
// errors (bad digest, no signer, a signature block that does not decode) are
// all of the security facility, 0x8009xxxx; the certificate errors (untrusted
// root, expired, revoked, distrusted) of the certificate facility.
Trust Rejection(LONG status) {
    if (status == TRUST_E_NOSIGNATURE || status == TRUST_E_SUBJECT_FORM_UNKNOWN) return Trust::Unsigned;
    if ((static_cast<unsigned long>(status) & 0xFFFF0000ul) == 0x80090000ul) return Trust::Altered;
    return Trust::Refused;
}

const char* RejectionText(Trust verdict) {
    switch (verdict) {
        case Trust::Unsigned:
            return "not signed";
        case Trust::Altered:
            return "its content does not match its signature";
        default:
            return "the system does not accept its signature";
    }
}

}  // namespace

void CheckedFile::Release() {
    const ScopedHandle held(static_cast<HANDLE>(std::exchange(handle_, nullptr)));  // closed on return
}

Publisher PublisherOf(const std::string& path) {
    Publisher out;
    ScopedHandle file = OpenHeld(path);
    if (!file) {
        out.kind = Publisher::Kind::Broken;
        out.reason = WithCode("its file cannot be read", static_cast<LONG>(GetLastError()));
        return out;
    }
    const Verification v = Verify(path, file.get());
    // Unsigned only when the system finds no signature and the image names no
    // certificate table either: a table the system cannot read is a damaged
    // signature, which must not switch the pin off.
    const bool noTable = !HasCertificateTable(file.get());
    file.reset();
    if (v.status == ERROR_SUCCESS && !v.signer.empty()) {
        out.kind = Publisher::Kind::Pinned;
        out.certificate = v.signer;
        out.successor = SuccessorCertificateOf(path);
    } else if (v.status == TRUST_E_NOSIGNATURE && noTable) {
        out.kind = Publisher::Kind::Unsigned;
    } else {
        out.kind = Publisher::Kind::Broken;
        out.reason = v.status == ERROR_SUCCESS ? "no signer certificate in its signature"
                                               : WithCode(RejectionText(Rejection(v.status)), v.status);
    }
    return out;
}

Publisher RunningPublisher() {
    return PublisherOf(OwnExecutablePath());
}

CheckedFile CheckPublisher(const std::string& path, const Publisher& pin) {
    // The handle goes to the checked file, which holds it while the program starts.
    ScopedHandle file = OpenHeld(path);
    if (!file)
        return CheckedFile(Trust::CannotOpen, WithCode("cannot be opened", static_cast<LONG>(GetLastError())), nullptr);
    switch (pin.kind) {
        case Publisher::Kind::Unsigned:
            return CheckedFile(Trust::Trusted, "no publisher is pinned", file.release());
        case Publisher::Kind::Broken:
            return CheckedFile(Trust::NoPublisher, "the launcher's own signature does not verify: " + pin.reason,
                               file.release());
        case Publisher::Kind::Pinned:
            break;
    }
    const Verification v = Verify(path, file.get());
    if (v.status != ERROR_SUCCESS) {
        const Trust verdict = Rejection(v.status);
        return CheckedFile(verdict, WithCode(RejectionText(verdict), v.status), file.release());
    }
    if (v.signer.empty()) return CheckedFile(Trust::Altered, "no signer certificate in its signature", file.release());
    const bool successor = !pin.successor.empty() && SamePublicKey(v.signer, pin.successor);
    if (!SamePublicKey(v.signer, pin.certificate) && !successor)
        return CheckedFile(Trust::OtherPublisher, "signed by another publisher", file.release());
    return CheckedFile(Trust::Trusted, "signed by the launcher's publisher", file.release());
}

}  // namespace klv::platform
