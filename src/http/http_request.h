#pragma once
// The request head of a GET, as bytes. Pure, so it can be checked byte for byte.
#include <string>

namespace klv {

constexpr const char* kRequestContentType = "text/html";
constexpr const char* kRequestAccept = "text/html, */*";
constexpr const char* kRequestUserAgent = "Mozilla/3.0 (compatible; Indy Library)";
// A header line longer than this is folded onto continuation lines.
constexpr std::size_t kMaxHeaderLineWidth = 1024;

struct RequestHeadFields {
    std::string target;         // path + document + parameters
    std::string host;           // the Host value
    std::string authorization;  // empty: no Authorization header
    std::string cookie;         // empty: no Cookie header
};

// "GET target HTTP/1.1", the header lines in their fixed order, an empty line;
// every line ends with CR LF.
std::string BuildRequestHead(const RequestHeadFields& fields);

// One header line with its CR LF; longer than kMaxHeaderLineWidth it is broken
// after a space, tab or comma, each continuation line beginning with a space.
std::string FoldedHeaderLine(const std::string& name, const std::string& value);

// "Basic " and the base64 of "user:password".
std::string BasicAuthorization(const std::string& user, const std::string& password);

}  // namespace klv
