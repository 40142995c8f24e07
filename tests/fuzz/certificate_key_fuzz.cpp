// Any bytes as a certificate, and any two as a pair: the key found lies
// within the input and is itself one whole DER element, the pair's answer is
// the same either way round, and a certificate carries its own key. The
// sanitizers catch any read outside the input (it is copied into a buffer of
// its exact size first).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/certificate_key.h"

namespace {

void CheckOne(std::string_view der) {
    const auto key = klv::platform::CertificatePublicKey(der);
    if (!key) {
        KLV_FUZZ_CHECK(!klv::platform::SamePublicKey(der, der));
        return;
    }
    KLV_FUZZ_CHECK(key->data() >= der.data() && key->data() + key->size() <= der.data() + der.size());
    KLV_FUZZ_CHECK(key->size() >= 2 && static_cast<unsigned char>((*key)[0]) == 0x30);
    KLV_FUZZ_CHECK(klv::platform::SamePublicKey(der, der));
    // The certificate is whole: any byte more or less is no certificate.
    KLV_FUZZ_CHECK(!klv::platform::CertificatePublicKey(der.substr(0, der.size() - 1)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string first = input.ConsumeRandomLengthString(4096);
    const std::string second = input.ConsumeRemainingBytesAsString();
    std::unique_ptr<char[]> a(new char[first.size() + 1]), b(new char[second.size() + 1]);
    first.copy(a.get(), first.size());
    second.copy(b.get(), second.size());
    const std::string_view x(a.get(), first.size()), y(b.get(), second.size());
    CheckOne(x);
    CheckOne(y);
    KLV_FUZZ_CHECK(klv::platform::SamePublicKey(x, y) == klv::platform::SamePublicKey(y, x));
    return 0;
}
