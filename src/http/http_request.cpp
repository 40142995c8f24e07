#include "http/http_request.h"

namespace klv {

std::string FoldedHeaderLine(const std::string& name, const std::string& value) {
    std::string rest = name + ": " + value;
    std::string out;
    while (rest.size() > kMaxHeaderLineWidth) {
        // Break after the last separator that keeps the line within the width;
        // a line without any separator goes out unbroken.
        std::size_t cut = rest.find_last_of(" \t,", kMaxHeaderLineWidth - 1);
        if (cut == std::string::npos || cut == 0) cut = rest.find_first_of(" \t,", kMaxHeaderLineWidth);
        if (cut == std::string::npos || cut + 1 >= rest.size()) break;
        out += rest.substr(0, cut + 1) + "\r\n";
        std::size_t next = cut + 1;
        while (next < rest.size() && (rest[next] == ' ' || rest[next] == '\t')) ++next;
        rest = " " + rest.substr(next);
    }
    return out + rest + "\r\n";
}

std::string BuildRequestHead(const RequestHeadFields& fields) {
    std::string head = "GET " + fields.target + " HTTP/1.1\r\n";
    head += FoldedHeaderLine("Content-Type", kRequestContentType);
    head += FoldedHeaderLine("Host", fields.host);
    head += FoldedHeaderLine("Accept", kRequestAccept);
    head += FoldedHeaderLine("User-Agent", kRequestUserAgent);
    if (!fields.authorization.empty()) head += FoldedHeaderLine("Authorization", fields.authorization);
    if (!fields.cookie.empty()) head += FoldedHeaderLine("Cookie", fields.cookie);
    return head + "\r\n";
}

std::string BasicAuthorization(const std::string& user, const std::string& password) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::string plain = user + ":" + password;
    std::string out = "Basic ";
    for (std::size_t i = 0; i < plain.size(); i += 3) {
        unsigned triple = static_cast<unsigned char>(plain[i]) << 16;
        if (i + 1 < plain.size()) triple |= static_cast<unsigned char>(plain[i + 1]) << 8;
        if (i + 2 < plain.size()) triple |= static_cast<unsigned char>(plain[i + 2]);
        out += kAlphabet[(triple >> 18) & 63];
        out += kAlphabet[(triple >> 12) & 63];
        out += i + 1 < plain.size() ? kAlphabet[(triple >> 6) & 63] : '=';
        out += i + 2 < plain.size() ? kAlphabet[triple & 63] : '=';
    }
    return out;
}

}  // namespace klv
