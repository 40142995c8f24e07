#include "update_request.h"

#include <fstream>
#include <iterator>

#include "manifest_lookup.h"
#include "package_names.h"
#include "protocol/chain_cipher.h"

namespace klv::update_server {
namespace {

Answer Text(int status, const char* text) {
    return Answer{status, std::make_shared<const std::string>(text), {}};
}

}  // namespace

Answer UpdateRequestHandler::Handle(const UpdateRequest& request, const std::string& cookieHeader) {
    const PackageSource::Choice choice = source_.Choose(cookieHeader);
    if (choice.folder.empty()) return Text(503, "Service Unavailable");  // no release to serve
    Answer answer = Dispatch(choice.folder, request);
    // Every answer from a release names it again, so that the client's
    // cookie lives as long as its synchronisation goes on.
    if (!choice.release.empty()) answer.setCookie = ReleaseCookieFor(choice.release);
    return answer;
}

Answer UpdateRequestHandler::Dispatch(const std::string& folder, const UpdateRequest& request) {
    const auto flag = request.params.find(kFlagParam);
    const auto name = request.params.find(kFileNameParam);
    if (flag == request.params.end() || name == request.params.end()) return Text(400, "Bad Request");
    if (flag->second == kGetAFileFlag) return GetAFile(folder, name->second);
    if (flag->second == kCheckFileUpFlag) {
        const auto version = request.params.find(kNowVersionParam);
        if (version == request.params.end()) return Text(400, "Bad Request");
        return CheckFileUp(folder, name->second, version->second);
    }
    return Text(400, "Bad Request");
}

Answer UpdateRequestHandler::GetAFile(const std::string& folder, const std::string& name) {
    const auto path = ResolvePackageFile(folder, name);
    if (!path) return Text(404, "Not Found");
    Body body = cache_.Get(*path);
    if (!body) return Text(404, "Not Found");
    return Answer{200, std::move(body), {}};
}

Answer UpdateRequestHandler::CheckFileUp(const std::string& folder, const std::string& name,
                                         const std::string& nowVersion) {
    std::ifstream in(folder + "files.txt", std::ios::binary);
    const std::string manifest{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return Text(200, ManifestHasNewer(manifest, name, nowVersion) ? kNewerAnswer : kNotNewerAnswer);
}

namespace {

std::string PercentEncoded(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '~';
        if (plain) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

std::string Param(const UpdateRequest& request, const char* name) {
    const auto it = request.params.find(name);
    return it == request.params.end() ? std::string() : it->second;
}

}  // namespace

std::string LogPathOf(const UpdateRequest& request) {
    std::string path =
        "/" + PercentEncoded(Param(request, kFlagParam)) + "/" + PercentEncoded(Param(request, kFileNameParam));
    if (request.params.count(kNowVersionParam) != 0)
        path += "?" + std::string(kNowVersionParam) + "=" + PercentEncoded(Param(request, kNowVersionParam));
    return path;
}

std::string Printable(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            if (i + 1 < text.size()) out += " | ";
        } else if (byte < 0x20 || byte == 0x7F || byte >= 0x80 || byte == '\\') {
            if (byte == '\\') {
                out += "\\\\";
                continue;
            }
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

}  // namespace klv::update_server
