#include "request_head.h"

#include <cctype>
#include <vector>

namespace klv::server {
namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// "GET /target HTTP/1.1": exactly three words separated by single spaces.
bool ParseRequestLine(const std::string& line, RequestHead& head) {
    const std::size_t sp1 = line.find(' ');
    if (sp1 == std::string::npos || sp1 == 0) return false;
    const std::size_t sp2 = line.find(' ', sp1 + 1);
    if (sp2 == std::string::npos || sp2 == sp1 + 1 || line.find(' ', sp2 + 1) != std::string::npos) return false;
    head.method = line.substr(0, sp1);
    head.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string version = line.substr(sp2 + 1);
    if (version == "HTTP/1.1")
        head.minorVersion = 1;
    else if (version == "HTTP/1.0")
        head.minorVersion = 0;
    else
        return false;
    for (const char c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return true;
}

bool ApplyHeader(const std::string& line, RequestHead& head, bool& sawConnection) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    const std::string name = Lower(line.substr(0, colon));
    const std::string value = Lower(Trim(line.substr(colon + 1)));
    if (name == "connection" && !sawConnection) {
        sawConnection = true;
        if (value == "close")
            head.keepAlive = false;
        else if (value == "keep-alive")
            head.keepAlive = true;
    } else if (name == "content-length") {
        if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos) return false;
        if (value.find_first_not_of('0') != std::string::npos) head.hasBody = true;
    } else if (name == "transfer-encoding") {
        head.hasBody = true;
    } else if (name == "cookie") {
        head.cookie = Trim(line.substr(colon + 1));
    }
    return true;
}

}  // namespace

HeadStatus ParseRequestHead(const std::string& bytes, RequestHead& head, std::size_t& consumed) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t lf = bytes.find('\n', start);
        if (lf == std::string::npos || lf >= kMaxHeadBytes)
            return bytes.size() >= kMaxHeadBytes ? HeadStatus::TooLarge : HeadStatus::Incomplete;
        std::string line = bytes.substr(start, lf - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        start = lf + 1;
        if (line.empty()) {
            if (lines.empty()) continue;  // stray line ends between requests are tolerated
            break;
        }
        lines.push_back(std::move(line));
    }
    head = RequestHead{};
    if (!ParseRequestLine(lines[0], head)) return HeadStatus::Malformed;
    head.keepAlive = head.minorVersion >= 1;
    bool sawConnection = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        // Continuation lines are folded values; nothing here needs them.
        if (lines[i][0] == ' ' || lines[i][0] == '\t') continue;
        if (!ApplyHeader(lines[i], head, sawConnection)) return HeadStatus::Malformed;
    }
    consumed = start;
    return HeadStatus::Complete;
}

}  // namespace klv::server
