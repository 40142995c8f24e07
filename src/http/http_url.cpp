#include "http/http_url.h"

#include <vector>

#include "platform/path_text.h"

namespace klv {

std::string SlashesFromBackslashes(const std::string& url) {
    // The second byte of a double-byte character may be 0x5C and must stay.
    return platform::WithSlashes(url);
}

namespace {

void SplitAuthority(const std::string& authority, UrlParts& parts) {
    std::string hostPort = authority;
    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        const std::string userInfo = authority.substr(0, at);
        hostPort = authority.substr(at + 1);
        const std::size_t colon = userInfo.find(':');
        parts.user = userInfo.substr(0, colon);
        if (colon != std::string::npos) parts.password = userInfo.substr(colon + 1);
    }
    const std::size_t colon = hostPort.find(':');
    parts.host = hostPort.substr(0, colon);
    if (colon != std::string::npos) parts.port = hostPort.substr(colon + 1);
}

// Path, document and parameters of the text after the authority's "/".
void SplitRemainder(const std::string& remainder, const std::string& pathPrefix, UrlParts& parts) {
    std::size_t paramsAt = remainder.find('?');
    if (paramsAt == std::string::npos) paramsAt = remainder.find('=');
    const std::string beforeParams = remainder.substr(0, paramsAt);
    if (paramsAt != std::string::npos) parts.params = remainder.substr(paramsAt);
    const std::size_t lastSlash = beforeParams.rfind('/');
    const std::size_t documentAt = lastSlash == std::string::npos ? 0 : lastSlash + 1;
    parts.path = pathPrefix + beforeParams.substr(0, documentAt);
    parts.document = beforeParams.substr(documentAt);
    // A fragment is for the browser, never for the server.
    const std::size_t hashInDocument = parts.document.find('#');
    if (hashInDocument != std::string::npos) {
        parts.document.erase(hashInDocument);
        parts.params.clear();
    } else {
        const std::size_t hashInParams = parts.params.find('#');
        if (hashInParams != std::string::npos) parts.params.erase(hashInParams);
    }
}

}  // namespace

UrlParts ParseUrl(const std::string& url) {
    const std::string text = SlashesFromBackslashes(url);
    UrlParts parts;
    const std::size_t scheme = text.find("://");
    if (scheme == std::string::npos) {
        // No authority: an absolute or relative path against the last request.
        if (!text.empty() && text[0] == '/') {
            SplitRemainder(text.substr(1), "/", parts);
        } else {
            SplitRemainder(text, "", parts);
        }
        return parts;
    }
    parts.protocol = text.substr(0, scheme);
    const std::string rest = text.substr(scheme + 3);
    const std::size_t slash = rest.find('/');
    SplitAuthority(rest.substr(0, slash), parts);
    SplitRemainder(slash == std::string::npos ? std::string() : rest.substr(slash + 1), "/", parts);
    return parts;
}

std::string ResolvePath(const std::string& base, const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    const std::string joined = (base.empty() ? std::string("/") : base) + path;
    std::vector<std::string> segments;
    std::size_t start = 1;
    while (start <= joined.size()) {
        std::size_t end = joined.find('/', start);
        if (end == std::string::npos) end = joined.size();
        const std::string segment = joined.substr(start, end - start);
        if (segment == "..") {
            if (!segments.empty()) segments.pop_back();
        } else if (segment != "." && !segment.empty()) {
            segments.push_back(segment);
        }
        start = end + 1;
    }
    std::string out = "/";
    for (const std::string& s : segments) out += s + "/";
    return out;
}

}  // namespace klv
