#include "server/update_protocol.h"

#include "platform/error.h"
#include "platform/file_system.h"
#include "server/chain_cipher.h"
#include "server/file_body_decoder.h"
#include "server/file_body_writer.h"
#include "server/http_client.h"

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

}  // namespace

const std::string& ServerBaseUrl() {
    return BaseUrlStorage();
}

void SetServerBaseUrl(const std::string& url) {
    BaseUrlStorage() = url;
}

std::string GetAFilePlainText(const std::string& fileName) {
    std::string text;
    AppendLine(text, "aFlag", "KLVGetAFile");
    AppendLine(text, "FileName", fileName);
    return text;
}

std::string CheckFileUpPlainText(const std::string& fileName, const std::string& version) {
    std::string text;
    AppendLine(text, "aFlag", "CheckFileUp");
    AppendLine(text, "FileName", fileName);
    AppendLine(text, "NowVer", version);
    return text;
}

std::string GetAFileUrl(const std::string& fileName) {
    return ServerBaseUrl() + ChainEncrypt(GetAFilePlainText(fileName), kRequestKey);
}

std::string CheckFileUpUrl(const std::string& fileName, const std::string& version) {
    return ServerBaseUrl() + ChainEncrypt(CheckFileUpPlainText(fileName, version), kRequestKey);
}

void DecodeFileBody(MemoryStream* buffer) {
    if (!buffer || buffer->Size() == 0) return;
    std::string content;
    {
        FileBodyDecoder decoder;
        decoder.Feed(buffer->Data().data(), buffer->Size());
        content = decoder.Finish();
    }
    // Only a complete decode replaces the buffer; a failure leaves it as it was.
    buffer->Clear();
    buffer->MutableData() = std::move(content);
    buffer->Seek(buffer->Size());
}

bool CheckFileUpdate(const std::string& fileName, const std::string& version) {
    try {
        HttpClient client;
        return client.Get(CheckFileUpUrl(fileName, version)) == "OK";
    } catch (const std::exception&) {
        // A server that says no and one that cannot be reached look alike.
        return false;
    }
}

bool DownloadServerFile(const std::string& fileName, const std::string& path) {
    // Inflated as it arrives into a temporary file beside `path` and moved
    // into place complete, so a reader of `path` never meets a half-written
    // file and a launcher of any size costs no more memory than a small one.
    FileBodyWriter body(platform::RealFileSystem(), path);
    try {
        HttpClient client;
        client.Get(GetAFileUrl(fileName), body);
    } catch (const Error&) {
        // Every transport failure: there is exactly one attempt.
        return false;
    }
    body.Finish();
    body.Commit();
    return true;
}

}  // namespace klv
