#pragma once
// GetAFile bodies of the package files, compressed once and kept while the
// file is unchanged (same size and modification time), so that many clients
// fetching the same package cost one compression.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace klv::update_server {

using Body = std::shared_ptr<const std::string>;

class BodyCache {
public:
    explicit BodyCache(std::uint64_t capacityBytes) : capacity_(capacityBytes) {}

    // The body of the file at `path`; nothing when it cannot be read. A file
    // that changes while it is read is served as read but not kept.
    Body Get(const std::string& path);

private:
    struct Entry {
        std::int64_t size = 0;
        std::int64_t mtimeNs = 0;
        Body body;
    };
    std::mutex mutex_;
    std::map<std::string, Entry> entries_;
    std::uint64_t held_ = 0;
    std::uint64_t capacity_;
};

}  // namespace klv::update_server
