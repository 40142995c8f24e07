#include "http/http_response.h"

#include <cctype>
#include <limits>

#include "http/http_errors.h"

namespace klv {

std::string Trim(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
    return text.substr(begin, end - begin);
}

bool SameTextAscii(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool ParseInt32(const std::string& text, std::int32_t& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    std::int64_t result = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        result = result * 10 + (text[i] - '0');
        if (result > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1) return false;
    }
    if (negative) result = -result;
    if (result < std::numeric_limits<std::int32_t>::min() || result > std::numeric_limits<std::int32_t>::max())
        return false;
    value = static_cast<std::int32_t>(result);
    return true;
}

int ParseStatusCode(const std::string& statusLine) {
    const std::size_t space = statusLine.find(' ');
    if (space == std::string::npos) return -1;
    const std::string rest = Trim(statusLine.substr(space + 1));
    std::int32_t code = -1;
    return ParseInt32(rest.substr(0, rest.find(' ')), code) ? code : -1;
}

std::vector<std::string> HeaderValues(const std::vector<std::string>& lines, const std::string& name) {
    std::vector<std::string> values;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos || !SameTextAscii(line.substr(0, colon), name)) continue;
        std::string value = Trim(line.substr(colon + 1));
        while (i + 1 < lines.size() && !lines[i + 1].empty() && (lines[i + 1][0] == ' ' || lines[i + 1][0] == '\t')) {
            value += ' ' + Trim(lines[++i]);
        }
        values.push_back(value);
    }
    return values;
}

std::string HeaderValue(const std::vector<std::string>& lines, const std::string& name) {
    // The first occurrence counts; a repeated header cannot override it.
    std::vector<std::string> values = HeaderValues(lines, name);
    return values.empty() ? std::string() : values.front();
}

ResponseHead ReadResponseHead(InputBuffer& input) {
    ResponseHead head;
    head.statusLine = input.ReadLn();
    head.status = ParseStatusCode(head.statusLine);
    for (;;) {
        std::string line;
        try {
            line = input.ReadLn();
        } catch (const EIdConnClosedGracefully&) {
            break;  // the headers read so far are used
        }
        if (line.empty()) break;
        head.lines.push_back(std::move(line));
        if (input.PeerClosed() && input.Buffered() == 0) break;
    }
    std::int32_t length = -1;
    if (!ParseInt32(Trim(HeaderValue(head.lines, "Content-Length")), length)) length = -1;
    head.contentLength = length;
    head.location = HeaderValue(head.lines, "Location");
    head.connection = HeaderValue(head.lines, "Connection");
    head.proxyConnection = HeaderValue(head.lines, "Proxy-Connection");
    head.transferEncoding = HeaderValue(head.lines, "Transfer-Encoding");
    head.wwwAuthenticate = HeaderValues(head.lines, "WWW-Authenticate");
    for (const char* name : {"Set-Cookie", "Set-Cookie2"}) {
        for (std::string& value : HeaderValues(head.lines, name)) head.setCookies.push_back(std::move(value));
    }
    return head;
}

}  // namespace klv
