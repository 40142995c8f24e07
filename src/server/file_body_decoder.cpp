#include "server/file_body_decoder.h"

#include <new>
#include <stdexcept>

#include "platform/error.h"
#include "server/file_body_writer.h"
#include "server/memory_stream.h"

namespace klv {

// The body rules (the length field, the cap at L, what counts as damage
// however the body is sliced) live in FileBodyInflater alone, which also
// serves the downloads that stream to disk; this decoder only keeps the
// content it hands on, so both always agree on the same bytes.
struct FileBodyDecoder::Impl {
    std::string out;
    FileBodyInflater inflater{[this](const char* bytes, std::size_t count) {
        try {
            out.append(bytes, count);
        } catch (const std::bad_alloc&) {
            throw EOutOfMemory(kStreamOutOfMemoryText);
        } catch (const std::length_error&) {
            throw EOutOfMemory(kStreamOutOfMemoryText);
        }
    }};
};

FileBodyDecoder::FileBodyDecoder() : impl_(std::make_unique<Impl>()) {}
FileBodyDecoder::~FileBodyDecoder() = default;

void FileBodyDecoder::Feed(const char* data, std::size_t count) {
    impl_->inflater.Feed(data, count);
}

std::string FileBodyDecoder::Finish() {
    impl_->inflater.Finish();
    return std::move(impl_->out);
}

}  // namespace klv
