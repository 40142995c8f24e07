#pragma once
// A GetAFile answer body taken straight to disk: inflated as it arrives and
// written to the temporary file beside its target, so that a download costs
// the same little memory whatever the size of the file. The content reaches
// the target only by Commit, complete; every failure leaves the target as it
// was and no temporary file behind.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "server/body_sink.h"

namespace klv {

// Decodes a GetAFile answer body (4-byte little-endian length L, then a
// zlib stream) in slices of any size, handing the content on in pieces as
// it is inflated, never more than L bytes. The outcome is FileBodyDecoder's
// for the same bytes, however they are sliced; only the content is not kept.
class FileBodyInflater {
public:
    using Output = std::function<void(const char* bytes, std::size_t count)>;
    explicit FileBodyInflater(Output output);
    ~FileBodyInflater();
    FileBodyInflater(const FileBodyInflater&) = delete;
    FileBodyInflater& operator=(const FileBodyInflater&) = delete;

    // Raises EOutOfMemory for a length with the top bit set, klv::Error
    // "Error" for a damaged zlib stream, and whatever the output raises.
    void Feed(const char* data, std::size_t count);
    // Ends the body: hands on what is still pending. A body of 1 to 3 bytes
    // raises EReadError "Stream read error"; a stream that ends or stops
    // before L bytes raises klv::Error "Error".
    void Finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The body sink of a download to `path`. The temporary file is created when
// the first content arrives (after `prepare`, which the package fetch uses
// to create missing folders), or by Finish for an empty file.
class FileBodyWriter final : public BodySink {
public:
    FileBodyWriter(platform::FileSystem& files, std::string path, std::function<void()> prepare = {});

    // A failure of decoding, of the folders or of the file (every one of
    // them a std::exception) is not raised here: it is kept, the temporary
    // file removed and the rest of the body ignored, because whether it
    // counts depends on how the transfer ends. A transfer that fails is a
    // failed attempt whatever its bytes were; only after one that succeeds
    // is the failure raised, by Finish, as a decoding or writing failure
    // after the request. Anything else passes on at once.
    void Write(const char* bytes, std::size_t count) override;

    // After the transfer succeeded: ends the body and raises the failure
    // kept by Write or met now, so that on return the complete content waits
    // under the temporary name.
    void Finish();
    // Moves the content into place (FileWriter::Commit).
    void Commit();

private:
    platform::FileWriter& File();

    platform::FileSystem& files_;
    std::string path_;
    std::function<void()> prepare_;
    std::unique_ptr<platform::FileWriter> file_;
    FileBodyInflater inflater_;
    std::exception_ptr failure_;
};

}  // namespace klv
