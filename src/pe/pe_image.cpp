#include "pe/pe_image.h"

#include <algorithm>
#include <cstdio>

namespace klv {
namespace {

// Raised by a read past the end of the bytes; each table catches it and keeps
// what it had read, so a damaged table never hides the facts before it.
struct OutOfBounds {};

class Bytes {
public:
    explicit Bytes(std::string_view data) : data_(data) {}

    std::uint64_t Size() const { return data_.size(); }
    bool Has(std::uint64_t offset, std::uint64_t count) const {
        return offset <= data_.size() && count <= data_.size() - offset;
    }
    std::uint16_t U16(std::uint64_t offset) const {
        Need(offset, 2);
        return static_cast<std::uint16_t>(Byte(offset) | Byte(offset + 1) << 8);
    }
    std::uint32_t U32(std::uint64_t offset) const {
        Need(offset, 4);
        return static_cast<std::uint32_t>(Byte(offset)) | static_cast<std::uint32_t>(Byte(offset + 1)) << 8 |
               static_cast<std::uint32_t>(Byte(offset + 2)) << 16 | static_cast<std::uint32_t>(Byte(offset + 3)) << 24;
    }
    std::string_view Span(std::uint64_t offset, std::uint64_t count) const {
        Need(offset, count);
        return data_.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(count));
    }
    // A NUL-terminated name of at most `limit` characters.
    std::string CString(std::uint64_t offset, std::size_t limit) const {
        std::string text;
        for (std::uint64_t at = offset;; ++at) {
            Need(at, 1);
            const char c = data_[static_cast<std::size_t>(at)];
            if (c == '\0') return text;
            if (text.size() == limit) throw OutOfBounds{};
            text += c;
        }
    }

private:
    void Need(std::uint64_t offset, std::uint64_t count) const {
        if (!Has(offset, count)) throw OutOfBounds{};
    }
    unsigned Byte(std::uint64_t offset) const {
        return static_cast<unsigned char>(data_[static_cast<std::size_t>(offset)]);
    }

    std::string_view data_;
};

struct Section {
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawOffset = 0;
};

struct DataDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

constexpr std::uint16_t kOptionalPe32 = 0x10B;
constexpr std::uint16_t kOptionalPe32Plus = 0x20B;
constexpr std::uint32_t kImportDirectory = 1;
constexpr std::uint32_t kResourceDirectory = 2;
constexpr std::uint32_t kCertificateDirectory = 4;
constexpr std::uint32_t kResourceVersion = 16;
constexpr std::uint32_t kResourceManifest = 24;
// The manifest the loader reads for an executable.
constexpr std::uint32_t kProcessManifestId = 1;
constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
// Sanity bounds on tables that a damaged file could make endless.
constexpr int kMaxSections = 96;
constexpr int kMaxImports = 1024;
constexpr std::size_t kMaxDllName = 260;
constexpr std::uint32_t kMaxResourceEntries = 4096;

class ImageReader {
public:
    explicit ImageReader(std::string_view bytes) : bytes_(bytes) {}

    std::optional<PeImage> Read() {
        PeImage image;
        try {
            if (!ReadHeaders(image)) return std::nullopt;
        } catch (const OutOfBounds&) {
            return std::nullopt;
        }
        image.sectionsFit = SectionsFit();
        try {
            ReadImports(image);
        } catch (const OutOfBounds&) {
            // The DLLs named so far stay listed.
        }
        try {
            ReadResources(image);
        } catch (const OutOfBounds&) {
            // No version, no manifest from a resource tree that leaves the file.
        }
        return image;
    }

private:
    bool ReadHeaders(PeImage& image) {
        if (bytes_.Span(0, 2) != "MZ") return false;
        const std::uint32_t pe = bytes_.U32(0x3C);
        if (bytes_.Span(pe, 4) != std::string_view("PE\0\0", 4)) return false;
        const std::uint64_t file = pe + 4ull;
        image.machine = bytes_.U16(file);
        const std::uint16_t sectionCount = bytes_.U16(file + 2);
        const std::uint16_t optionalSize = bytes_.U16(file + 16);
        image.characteristics = bytes_.U16(file + 18);

        const std::uint64_t optional = file + 20;
        const std::uint16_t magic = bytes_.U16(optional);
        if (magic != kOptionalPe32 && magic != kOptionalPe32Plus) return false;
        // The two header forms differ only in the width of the stack and heap
        // fields that come before the directory count.
        const std::uint64_t countAt = optional + (magic == kOptionalPe32 ? 92 : 108);
        if (countAt + 4 > optional + optionalSize) return false;
        sizeOfHeaders_ = bytes_.U32(optional + 60);
        image.checksumOffset = optional + 64;
        image.subsystem = bytes_.U16(optional + 68);
        const std::uint32_t directoryCount = bytes_.U32(countAt);
        for (std::uint32_t i = 0; i < std::min<std::uint32_t>(directoryCount, 16); ++i) {
            const std::uint64_t at = countAt + 4 + 8ull * i;
            if (at + 8 > optional + optionalSize) break;
            directories_.push_back(DataDirectory{bytes_.U32(at), bytes_.U32(at + 4)});
            if (i == kCertificateDirectory) image.certificateEntryOffset = at;
        }
        const DataDirectory certificates = Directory(kCertificateDirectory);
        image.certificateTableOffset = certificates.rva;
        image.certificateTableSize = certificates.size;

        if (sectionCount > kMaxSections) return false;
        const std::uint64_t table = optional + optionalSize;
        for (std::uint16_t i = 0; i < sectionCount; ++i) {
            const std::uint64_t at = table + 40ull * i;
            sections_.push_back(
                Section{bytes_.U32(at + 12), bytes_.U32(at + 8), bytes_.U32(at + 16), bytes_.U32(at + 20)});
        }
        return true;
    }

    bool SectionsFit() const {
        return std::all_of(sections_.begin(), sections_.end(),
                           [this](const Section& s) { return s.rawSize == 0 || bytes_.Has(s.rawOffset, s.rawSize); });
    }

    DataDirectory Directory(std::uint32_t index) const {
        return index < directories_.size() ? directories_[index] : DataDirectory{};
    }

    // The file offset of an address in the loaded image; nothing for an
    // address that no section, nor the headers, carries in the file.
    std::optional<std::uint64_t> OffsetOf(std::uint32_t rva) const {
        for (const Section& s : sections_) {
            const std::uint32_t span = std::max(s.virtualSize, s.rawSize);
            if (rva >= s.virtualAddress && rva - s.virtualAddress < span) {
                const std::uint32_t delta = rva - s.virtualAddress;
                if (delta >= s.rawSize) return std::nullopt;  // the zero-filled tail
                return static_cast<std::uint64_t>(s.rawOffset) + delta;
            }
        }
        if (rva < sizeOfHeaders_) return rva;
        return std::nullopt;
    }

    std::uint64_t Offset(std::uint32_t rva) const {
        const auto offset = OffsetOf(rva);
        if (!offset) throw OutOfBounds{};
        return *offset;
    }

    void ReadImports(PeImage& image) const {
        const DataDirectory imports = Directory(kImportDirectory);
        if (imports.rva == 0) return;
        const std::uint64_t table = Offset(imports.rva);
        for (int i = 0; i < kMaxImports; ++i) {
            const std::uint64_t at = table + 20ull * i;
            const std::uint32_t nameRva = bytes_.U32(at + 12);
            const std::uint32_t thunks = bytes_.U32(at + 16);
            if (nameRva == 0 && thunks == 0) return;  // the terminating entry
            image.importedDlls.push_back(bytes_.CString(Offset(nameRva), kMaxDllName));
        }
    }

    struct ResourceEntry {
        bool named = false;
        std::uint32_t id = 0;
        bool isDirectory = false;
        std::uint32_t offset = 0;  // from the start of the resource tree
    };

    std::vector<ResourceEntry> Entries(std::uint64_t directory) const {
        const std::uint32_t count = static_cast<std::uint32_t>(bytes_.U16(directory + 12)) + bytes_.U16(directory + 14);
        std::vector<ResourceEntry> entries;
        for (std::uint32_t i = 0; i < std::min(count, kMaxResourceEntries); ++i) {
            const std::uint64_t at = directory + 16 + 8ull * i;
            const std::uint32_t name = bytes_.U32(at);
            const std::uint32_t target = bytes_.U32(at + 4);
            entries.push_back(ResourceEntry{(name & 0x80000000u) != 0, name & 0x7FFFFFFFu, (target & 0x80000000u) != 0,
                                            target & 0x7FFFFFFFu});
        }
        return entries;
    }

    // The data of a resource: type, then the entry with `preferredId` or
    // else the first name, then the first language. Nothing when the tree has
    // no such type.
    std::optional<std::string_view> Resource(std::uint64_t root, std::uint32_t type,
                                             std::optional<std::uint32_t> preferredId) const {
        const ResourceEntry* typeEntry = nullptr;
        const std::vector<ResourceEntry> types = Entries(root);
        for (const ResourceEntry& e : types)
            if (!e.named && e.id == type && e.isDirectory) typeEntry = &e;
        if (typeEntry == nullptr) return std::nullopt;

        const std::vector<ResourceEntry> names = Entries(root + typeEntry->offset);
        const ResourceEntry* nameEntry = nullptr;
        for (const ResourceEntry& e : names)
            if (nameEntry == nullptr || (preferredId && !e.named && e.id == *preferredId)) nameEntry = &e;
        if (nameEntry == nullptr || !nameEntry->isDirectory) return std::nullopt;

        const std::vector<ResourceEntry> languages = Entries(root + nameEntry->offset);
        if (languages.empty() || languages.front().isDirectory) return std::nullopt;
        const std::uint64_t leaf = root + languages.front().offset;
        const std::uint32_t dataRva = bytes_.U32(leaf);
        const std::uint32_t size = bytes_.U32(leaf + 4);
        return bytes_.Span(Offset(dataRva), size);
    }

    void ReadResources(PeImage& image) const {
        const DataDirectory resources = Directory(kResourceDirectory);
        if (resources.rva == 0) return;
        const std::uint64_t root = Offset(resources.rva);
        try {
            if (const auto version = Resource(root, kResourceVersion, std::nullopt))
                image.fileVersion = FixedFileVersion(*version);
        } catch (const OutOfBounds&) {
            // A damaged version resource reads as none; the manifest may still be whole.
        }
        if (const auto manifest = Resource(root, kResourceManifest, kProcessManifestId))
            image.manifest = std::string(*manifest);
    }

    // The version block starts with its length, the value's length, a type
    // and the key "VS_VERSION_INFO" in UTF-16, padded to 4 bytes; the fixed
    // file information follows as the block's value.
    static std::string FixedFileVersion(std::string_view block) {
        const Bytes data(block);
        const std::uint16_t valueLength = data.U16(2);
        static const char16_t kKey[] = u"VS_VERSION_INFO";
        std::uint64_t at = 6;
        for (const char16_t* k = kKey; *k != 0; ++k, at += 2)
            if (data.U16(at) != *k) return {};
        if (data.U16(at) != 0) return {};
        at = (at + 2 + 3) & ~std::uint64_t{3};
        if (valueLength < 52 || data.U32(at) != kFixedFileInfoSignature) return {};
        const std::uint32_t ms = data.U32(at + 8);
        const std::uint32_t ls = data.U32(at + 12);
        char text[48];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", ms >> 16, ms & 0xFFFFu, ls >> 16, ls & 0xFFFFu);
        return text;
    }

    Bytes bytes_;
    std::uint32_t sizeOfHeaders_ = 0;
    std::vector<DataDirectory> directories_;
    std::vector<Section> sections_;
};

}  // namespace

std::optional<PeImage> ReadPeImage(std::string_view bytes) {
    return ImageReader(bytes).Read();
}

std::string MachineName(std::uint16_t machine) {
    if (machine == kMachineI386) return "i386";
    if (machine == kMachineAmd64) return "x86-64";
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", machine);
    return text;
}

std::string SubsystemName(std::uint16_t subsystem) {
    if (subsystem == kSubsystemGui) return "gui";
    if (subsystem == kSubsystemConsole) return "console";
    return std::to_string(subsystem);
}

}  // namespace klv
