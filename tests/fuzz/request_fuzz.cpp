// The update server's reading of what any client sends: the scrambled
// parameter list behind the request path (ParseUpdateRequest), the log's
// forms of it (the printable text and the request line's path) and the file
// name's path inside the package folder. The first byte chooses whether the
// rest is a raw request target or a plain parameter list, which is then
// scrambled as a client would.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "package_names.h"
#include "protocol/chain_cipher.h"
#include "update_request.h"

namespace {

// The request head itself is the HTTP library's to read; what the server
// makes of its target is ours: any target, as sent.
void CheckTarget(const std::string& target) {
    klv::UpdateRequest request;
    if (!klv::ParseUpdateRequest(target, request)) return;
    KLV_FUZZ_CHECK(!request.params.empty());
}

void CheckParameters(const std::string& plain, std::uint8_t seed) {
    klv::UpdateRequest request;
    const std::string target = "/" + klv::ChainEncryptWithSeed(plain, klv::kRequestKey, seed);
    if (!klv::ParseUpdateRequest(target, request)) return;
    KLV_FUZZ_CHECK(!request.params.empty());
    for (const auto& [name, value] : request.params) {
        KLV_FUZZ_CHECK(!name.empty() && name.find('=') == std::string::npos);
        KLV_FUZZ_CHECK(name.find("\r\n") == std::string::npos && value.find("\r\n") == std::string::npos);
    }
    // The log line is one line of printable ASCII, whatever the request held.
    for (const char c : klv::update_server::Printable(request.plainText))
        KLV_FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F);
    // The request line's path holds no blank, quote or control byte that
    // would split the log's fields.
    for (const char c : klv::update_server::LogPathOf(request))
        KLV_FUZZ_CHECK((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       std::string("-._~%/?=").find(c) != std::string::npos);
    const auto name = request.params.find("FileName");
    if (name != request.params.end()) {
        const auto relative = klv::update_server::RelativePathOf(name->second);
        if (relative) {
            KLV_FUZZ_CHECK(!relative->empty() && (*relative)[0] != '/');
            KLV_FUZZ_CHECK(relative->find('\0') == std::string::npos);
            KLV_FUZZ_CHECK(("/" + *relative + "/").find("/../") == std::string::npos);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto mode = input.ConsumeIntegral<std::uint8_t>();
    const std::string rest = input.ConsumeRemainingBytesAsString();
    if (mode & 1)
        CheckParameters(rest, static_cast<std::uint8_t>(mode >> 1));
    else
        CheckTarget(rest);
    return 0;
}
