// The update server's reading of what any client sends: the request head
// (ParseRequestHead, over the bytes received so far), the scrambled
// parameter list behind the request path (ParseUpdateRequest), the log's
// printable form of it and the file name's path inside the package folder.
// The first byte chooses whether the rest is a raw head or a plain
// parameter list, which is then scrambled as a client would.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "package_names.h"
#include "request_head.h"
#include "server/chain_cipher.h"
#include "update_request.h"

namespace {

void CheckHead(const std::string& bytes) {
    klv::server::RequestHead head;
    std::size_t consumed = 0;
    const klv::server::HeadStatus status = klv::server::ParseRequestHead(bytes, head, consumed);
    switch (status) {
        case klv::server::HeadStatus::Complete:
            KLV_FUZZ_CHECK(consumed > 0 && consumed <= bytes.size() && consumed <= klv::server::kMaxHeadBytes);
            KLV_FUZZ_CHECK(bytes[consumed - 1] == '\n');
            KLV_FUZZ_CHECK(!head.method.empty() && !head.target.empty());
            for (const char c : head.target) KLV_FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
            break;
        case klv::server::HeadStatus::Incomplete:
            // More bytes can only help while the head may still fit.
            KLV_FUZZ_CHECK(bytes.size() < klv::server::kMaxHeadBytes);
            break;
        case klv::server::HeadStatus::TooLarge:
            KLV_FUZZ_CHECK(bytes.size() >= klv::server::kMaxHeadBytes);
            break;
        case klv::server::HeadStatus::Malformed:
            break;
    }
    if (status == klv::server::HeadStatus::Complete) {
        klv::server::UpdateRequest request;
        klv::server::ParseUpdateRequest(head.target, request);
    }
}

void CheckParameters(const std::string& plain, std::uint8_t seed) {
    klv::server::UpdateRequest request;
    const std::string target = "/" + klv::ChainEncryptWithSeed(plain, klv::kRequestKey, seed);
    if (!klv::server::ParseUpdateRequest(target, request)) return;
    KLV_FUZZ_CHECK(!request.params.empty());
    for (const auto& [name, value] : request.params) {
        KLV_FUZZ_CHECK(!name.empty() && name.find('=') == std::string::npos);
        KLV_FUZZ_CHECK(name.find("\r\n") == std::string::npos && value.find("\r\n") == std::string::npos);
    }
    // The log line is one line of printable ASCII, whatever the request held.
    for (const char c : klv::server::Printable(request.plainText))
        KLV_FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F);
    const auto name = request.params.find("FileName");
    if (name != request.params.end()) {
        const auto relative = klv::server::RelativePathOf(name->second);
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
        CheckHead(rest);
    return 0;
}
