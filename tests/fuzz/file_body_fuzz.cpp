// Any GetAFile answer body, with any length field: DecodeFileBody on the
// whole buffer, and the streaming decoder fed the same bytes in slices of
// every size. Both must agree (the same content, or the same failure kind),
// a success must hold exactly L bytes, and a failure must leave the buffer
// as it was. Memory follows the inflated output, never the length field.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "platform/error.h"
#include "support/file_body_decoder.h"
#include "http/memory_stream.h"
#include "protocol/update_request.h"

namespace {

enum class Outcome { Content, ReadError, OutOfMemory, InflateError };

template <typename Decode>
Outcome Classify(Decode decode, std::string& content) {
    try {
        content = decode();
        return Outcome::Content;
    } catch (const klv::EReadError&) {
        return Outcome::ReadError;
    } catch (const klv::EOutOfMemory&) {
        return Outcome::OutOfMemory;
    } catch (const klv::Error& e) {
        KLV_FUZZ_CHECK(std::string(e.what()) == "Error");
        return Outcome::InflateError;
    }
}

std::uint32_t LengthField(const std::string& body) {
    std::uint32_t length = 0;
    for (int i = 3; i >= 0; --i) length = length << 8 | static_cast<unsigned char>(body[static_cast<std::size_t>(i)]);
    return length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto slicing = input.ConsumeIntegral<std::uint8_t>();
    const std::string body = input.ConsumeRemainingBytesAsString();

    std::string whole;
    klv::MemoryStream buffer;
    buffer.Write(body.data(), body.size());
    const Outcome byBuffer = Classify(
        [&] {
            klv::DecodeFileBody(&buffer);
            return buffer.Data();
        },
        whole);
    if (byBuffer != Outcome::Content) KLV_FUZZ_CHECK(buffer.Data() == body);  // untouched on failure

    std::string sliced;
    const Outcome bySlices = Classify(
        [&] {
            klv::FileBodyDecoder decoder;
            for (std::size_t at = 0; at < body.size();) {
                const std::size_t n = slicing == 0 ? body.size() - at : 1 + (at * 7 + slicing) % 64;
                const std::size_t take = n < body.size() - at ? n : body.size() - at;
                decoder.Feed(body.data() + at, take);
                at += take;
            }
            return decoder.Finish();
        },
        sliced);

    KLV_FUZZ_CHECK(byBuffer == bySlices);
    if (byBuffer == Outcome::Content) {
        KLV_FUZZ_CHECK(whole == sliced);
        KLV_FUZZ_CHECK(body.empty() ? whole.empty() : whole.size() == LengthField(body));
    }
    return 0;
}
