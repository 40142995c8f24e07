// Any text unscrambled with ChainDecrypt (the update server reads every
// request path this way), and any plain text through the scrambling and
// back. Decrypting never fails and yields at most one byte per hex pair;
// scrambling yields upper-case hex, two digits per byte after the seed pair,
// and unscrambles to the plain text for every byte but 0 and 255, which the
// modulo-255 chain cannot tell from their neighbours.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "protocol/chain_cipher.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const char* const keys[] = {klv::kRequestKey, "", "a", "Kerravin0123456789"};
    const std::string key = keys[input.ConsumeIntegralInRange<int>(0, 3)];
    const auto seed = input.ConsumeIntegral<std::uint8_t>();
    const std::string text = input.ConsumeRemainingBytesAsString();

    const std::string plain = klv::ChainDecrypt(text, key);
    KLV_FUZZ_CHECK(plain.size() <= text.size() / 2);

    const std::string scrambled = klv::ChainEncryptWithSeed(text, key, seed);
    KLV_FUZZ_CHECK(scrambled.size() == 2 + 2 * text.size());
    KLV_FUZZ_CHECK(scrambled.find_first_not_of("0123456789ABCDEF") == std::string::npos);
    const std::string back = klv::ChainDecrypt(scrambled, key);
    KLV_FUZZ_CHECK(back.size() == text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte != 0 && byte != 255) KLV_FUZZ_CHECK(static_cast<unsigned char>(back[i]) == byte);
    }
    return 0;
}
