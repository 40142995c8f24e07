#include "protocol/update_request.h"

#include "protocol/chain_cipher.h"

namespace klv {
namespace {

std::string& BaseUrlStorage() {
    // Built on first use, which is before any second thread exists.
    static std::string url = std::string("http://") + KLV_UPDATE_HOST + ":" + std::to_string(kUpdateServerPort) + "/";
    return url;
}

// Each parameter line is followed by CR LF, the last one included; values go
// as they are, backslashes and double-byte names untouched.
void AppendLine(std::string& text, const char* name, const std::string& value) {
    text += name;
    text += '=';
    text += value;
    text += "\r\n";
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

}  // namespace

const std::string& ServerBaseUrl() {
    return BaseUrlStorage();
}

void SetServerBaseUrl(const std::string& url) {
    BaseUrlStorage() = url;
}

std::string GetAFilePlainText(const std::string& fileName) {
    std::string text;
    AppendLine(text, kFlagParam, kGetAFileFlag);
    AppendLine(text, kFileNameParam, fileName);
    return text;
}

std::string CheckFileUpPlainText(const std::string& fileName, const std::string& version) {
    std::string text;
    AppendLine(text, kFlagParam, kCheckFileUpFlag);
    AppendLine(text, kFileNameParam, fileName);
    AppendLine(text, kNowVersionParam, version);
    return text;
}

std::string GetAFileUrl(const std::string& fileName) {
    return ServerBaseUrl() + ChainEncrypt(GetAFilePlainText(fileName), kRequestKey);
}

std::string CheckFileUpUrl(const std::string& fileName, const std::string& version) {
    return ServerBaseUrl() + ChainEncrypt(CheckFileUpPlainText(fileName, version), kRequestKey);
}

bool ParseUpdateRequest(const std::string& target, UpdateRequest& request) {
    // A seed pair and at least one cipher pair; a lone digit or any other
    // character would make the unscrambling stop early and silently.
    if (target.size() < 5 || target[0] != '/' || (target.size() - 1) % 2 != 0) return false;
    for (std::size_t i = 1; i < target.size(); ++i)
        if (!IsHexDigit(target[i])) return false;
    request.plainText = ChainDecrypt(target.substr(1), kRequestKey);
    const std::string& text = request.plainText;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) return false;  // every line ends in CR LF
        const std::string line = text.substr(start, end - start);
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0) return false;
        // The first occurrence of a parameter counts.
        request.params.emplace(line.substr(0, eq), line.substr(eq + 1));
        start = end + 2;
    }
    return !request.params.empty();
}

}  // namespace klv
