#include "sync/file_body_writer.h"

#include <exception>

namespace klv {

FileBodyWriter::FileBodyWriter(platform::FileSystem& files, std::string path, std::function<void()> prepare)
    : files_(files),
      path_(std::move(path)),
      prepare_(std::move(prepare)),
      inflater_([this](const char* bytes, std::size_t count) { File().Write(bytes, count); }) {}

platform::FileWriter& FileBodyWriter::File() {
    if (!file_) {
        if (prepare_) prepare_();
        file_ = files_.BeginWrite(path_);
    }
    return *file_;
}

void FileBodyWriter::Write(const char* bytes, std::size_t count) {
    if (failure_) return;
    try {
        inflater_.Feed(bytes, count);
    } catch (const std::exception&) {
        // Decoding, folder and file failures, all of them std::exception:
        // kept for Finish. Anything else is no failure of this body (the
        // unwinding of a thread or process that is ending, say) and must
        // not be held back while the transfer goes on, let alone dropped
        // with a failed attempt: it passes on at once.
        failure_ = std::current_exception();
        file_.reset();  // the temporary file goes at once
    }
}

void FileBodyWriter::Finish() {
    if (failure_) std::rethrow_exception(failure_);
    inflater_.Finish();
    File();  // an empty file has had no content to create it
}

void FileBodyWriter::Commit() {
    File().Commit();
}

}  // namespace klv
