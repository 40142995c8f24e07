#pragma once
// A GetAFile answer body taken straight to disk: inflated as it arrives and
// written to the temporary file beside its target, so that a download costs
// the same little memory whatever the size of the file. The content reaches
// the target only by Commit, complete; every failure leaves the target as it
// was and no temporary file behind.
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "http/body_sink.h"
#include "platform/file_system.h"
#include "protocol/file_body.h"

namespace klv {

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
