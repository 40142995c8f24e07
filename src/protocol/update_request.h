#pragma once
// The update-server protocol's requests, as both sides speak them. There are
// two kinds, GetAFile and CheckFileUp; each is a GET whose path is "/" and
// the scrambled parameter list: lines "name=value", each ending in CR LF.
// The launcher and klv-client build them here, the update server reads them
// here, so that a word spelled differently on one side cannot happen.
#include <map>
#include <string>

namespace klv {

inline constexpr int kUpdateServerPort = 9988;

// The parameters and the two kinds' flags.
inline constexpr char kFlagParam[] = "aFlag";
inline constexpr char kFileNameParam[] = "FileName";
inline constexpr char kNowVersionParam[] = "NowVer";
inline constexpr char kGetAFileFlag[] = "KLVGetAFile";
inline constexpr char kCheckFileUpFlag[] = "CheckFileUp";
// What CheckFileUp answers when the server holds a newer version, and not.
inline constexpr char kNewerAnswer[] = "OK";
inline constexpr char kNotNewerAnswer[] = "NO";

// "http://" + the built-in update-server host + ":9988/". Built before any
// second thread exists and only read afterwards.
const std::string& ServerBaseUrl();
// Replaces the base URL (the command-line client's --server option, tests).
// Call it before any second thread uses the protocol.
void SetServerBaseUrl(const std::string& url);

// Plain parameter lists: every line followed by CR LF.
std::string GetAFilePlainText(const std::string& fileName);
std::string CheckFileUpPlainText(const std::string& fileName, const std::string& version);
// ServerBaseUrl() + ChainEncrypt(plain text, "qvtrm").
std::string GetAFileUrl(const std::string& fileName);
std::string CheckFileUpUrl(const std::string& fileName, const std::string& version);

// A request as the server reads it.
struct UpdateRequest {
    std::string plainText;  // the unscrambled parameter list, for the log
    std::map<std::string, std::string> params;
};

// Unscrambles a request target and reads its lines. False when the target
// is not "/" + whole hex pairs, or the plain text is not such a list.
bool ParseUpdateRequest(const std::string& target, UpdateRequest& request);

}  // namespace klv
