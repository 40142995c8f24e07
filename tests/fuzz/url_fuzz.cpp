// Any URL through the transport's URL reading, and any path joined onto a
// previous one. The parts must add up to the text they came from (nothing
// invented, nothing lost but a fragment), a resolved path must be absolute
// and free of "." and ".." segments, and the request head built from the
// parts must have exactly the lines it is meant to have.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "http/http_request.h"
#include "http/http_url.h"

namespace {

bool HasDotSegment(const std::string& path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string segment = path.substr(start, end - start);
        if (segment == "." || segment == "..") return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string base = input.ConsumeRandomLengthString(64);
    const std::string url = input.ConsumeRemainingBytesAsString();

    const std::string slashed = klv::SlashesFromBackslashes(url);
    KLV_FUZZ_CHECK(slashed.size() == url.size());

    const klv::UrlParts parts = klv::ParseUrl(url);
    // Every part is a piece of the slashed text.
    for (const std::string* part : {&parts.protocol, &parts.host, &parts.port, &parts.document, &parts.params})
        KLV_FUZZ_CHECK(slashed.find(*part) != std::string::npos);
    KLV_FUZZ_CHECK(parts.document.find('#') == std::string::npos);
    KLV_FUZZ_CHECK(parts.params.find('#') == std::string::npos);
    KLV_FUZZ_CHECK(parts.document.find('/') == std::string::npos);
    if (slashed.find('#') == std::string::npos && slashed.find("://") != std::string::npos) {
        // Without a fragment the remainder is path + document + parameters.
        const std::string rest = slashed.substr(slashed.find("://") + 3);
        const std::size_t slash = rest.find('/');
        const std::string remainder = slash == std::string::npos ? std::string() : rest.substr(slash);
        KLV_FUZZ_CHECK((slash == std::string::npos ? std::string("/") : std::string()) + remainder ==
                       parts.path + parts.document + parts.params);
    }

    const std::string resolved = klv::ResolvePath(base.empty() || base[0] != '/' ? "/" + base : base, parts.path);
    KLV_FUZZ_CHECK(!resolved.empty() && resolved[0] == '/');
    if (parts.path.empty() || parts.path[0] != '/') KLV_FUZZ_CHECK(!HasDotSegment(resolved));

    klv::RequestHeadFields fields;
    fields.target = resolved + parts.document + parts.params;
    fields.host = parts.host;
    const std::string head = klv::BuildRequestHead(fields);
    KLV_FUZZ_CHECK(head.compare(0, 4, "GET ") == 0);
    KLV_FUZZ_CHECK(head.size() >= 4 && head.compare(head.size() - 4, 4, "\r\n\r\n") == 0);
    return 0;
}
