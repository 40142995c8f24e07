#include "body_cache.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "protocol/file_body.h"

namespace klv::update_server {
namespace {

bool StatFile(const std::string& path, std::int64_t& size, std::int64_t& mtimeNs) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    size = static_cast<std::int64_t>(st.st_size);
    mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

bool ReadFile(const std::string& path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

Body BodyCache::Get(const std::string& path) {
    std::int64_t size = 0, mtime = 0;
    if (!StatFile(path, size, mtime)) return nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = entries_.find(path);
        if (it != entries_.end() && it->second.size == size && it->second.mtimeNs == mtime) return it->second.body;
    }
    std::string content;
    if (!ReadFile(path, content)) return nullptr;
    auto body = std::make_shared<const std::string>(EncodeFileBody(content));
    std::int64_t sizeAfter = 0, mtimeAfter = 0;
    const bool unchanged = StatFile(path, sizeAfter, mtimeAfter) && sizeAfter == size && mtimeAfter == mtime &&
                           static_cast<std::int64_t>(content.size()) == size;
    if (!unchanged) return body;

    std::lock_guard<std::mutex> lock(mutex_);
    auto& entry = entries_[path];
    if (entry.body) held_ -= entry.body->size();
    // A crude bound: when full, start over rather than track recency.
    if (held_ + body->size() > capacity_) {
        entries_.clear();
        held_ = 0;
    }
    entries_[path] = Entry{size, mtime, body};
    held_ += body->size();
    return body;
}

}  // namespace klv::update_server
