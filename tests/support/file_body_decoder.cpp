#include "support/file_body_decoder.h"

#include <new>
#include <stdexcept>

#include "platform/error.h"
#include "protocol/file_body.h"

namespace klv {

// The body rules live in FileBodyInflater alone; this only keeps what it
// hands on, so that a test sees exactly what a download would write.
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

}  // namespace klv
