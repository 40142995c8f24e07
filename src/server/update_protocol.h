#pragma once
// The update-server protocol: two request kinds (GetAFile, CheckFileUp), each a
// GET whose path is the scrambled parameter list, and the GetAFile answer body
// (4-byte little-endian length, then a zlib stream).
#include <string>

#include "server/memory_stream.h"

namespace klv {

inline constexpr int kUpdateServerPort = 9988;

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

// Replaces a GetAFile answer body in `buffer` by the file content it carries.
// A missing or empty buffer is left alone. Raises EReadError "Stream read
// error" (1 to 3 bytes), klv::Error "Error" (a damaged or short zlib stream),
// EOutOfMemory "Out of memory while expanding memory stream" (a length that
// cannot be honoured).
void DecodeFileBody(MemoryStream* buffer);

// True exactly when the server answers "OK"; false for any other answer and
// for every transport failure. Raises nothing.
bool CheckFileUpdate(const std::string& fileName, const std::string& version);

// One GetAFile request; writes the content to `path` (folders are not
// created). False when the request fails; decoding and writing failures are
// raised. `path` is replaced only by a complete file.
bool DownloadServerFile(const std::string& fileName, const std::string& path);

}  // namespace klv
