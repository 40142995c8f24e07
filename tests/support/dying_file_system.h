#pragma once
// Wraps a real file layer and stops dead at its n-th operation, as a power
// loss or a kill would stop the launcher: that operation and every one after
// it never reach the disk. Every call that can touch the disk counts, each
// Write and Commit of a writer and the discarding of an uncommitted writer
// included; what is on the disk afterwards is exactly what the operations
// before the n-th left there.
//
// The death is raised as `Crashed`, which derives from nothing the core
// catches by type (not std::exception, not klv::Error): only a catch (...)
// can take it, and the run must let it end the run. The clean-up that would
// run on the way out (a scope guard that restores a name, a writer that
// removes its temporary file) meets a dead layer and does nothing. While the
// crash unwinds, a later operation reports failure instead of raising again,
// since a second exception out of a destructor would end the test binary
// instead of the run; so does one made by a handler that puts things back
// before it passes the crash on. An uncommitted writer abandoned by the
// crash keeps its temporary file where it is.
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"

namespace klv::test {

// The crash. Not derived from std::exception on purpose.
struct Crashed {
    long long operation = 0;  // the operation it came at
};

class DyingFileSystem final : public platform::FileSystem {
public:
    // Dies at operation `deathAt`, counting from 1; 0 never dies (to count
    // the operations of an uninterrupted run).
    DyingFileSystem(platform::FileSystem& real, long long deathAt) : real_(real), deathAt_(deathAt) {}

    // Operations reached, the one that died included.
    long long Operations() const { return count_; }
    bool Dead() const { return dead_; }
    // How often the crash was raised: more than once means that the run
    // caught it and went on to the disk again, as no crashed process does.
    int Raises() const { return raises_; }
    // The operation the layer died at, or the last one when it did not die.
    const std::string& LastOperation() const { return last_; }

    bool FileExists(const std::string& path) override { return Live("FileExists", path) && real_.FileExists(path); }
    bool DirectoryExists(const std::string& path) override {
        return Live("DirectoryExists", path) && real_.DirectoryExists(path);
    }
    bool RemoveFile(const std::string& path) override { return Live("RemoveFile", path) && real_.RemoveFile(path); }
    bool RenameFile(const std::string& from, const std::string& to) override {
        return Live("RenameFile", from + " -> " + to) && real_.RenameFile(from, to);
    }
    bool CreateFolderChain(const std::string& path) override {
        return Live("CreateFolderChain", path) && real_.CreateFolderChain(path);
    }
    bool RemoveEmptyFolder(const std::string& path) override {
        return Live("RemoveEmptyFolder", path) && real_.RemoveEmptyFolder(path);
    }
    bool CopyFileOver(const std::string& from, const std::string& to) override {
        return Live("CopyFileOver", from + " -> " + to) && real_.CopyFileOver(from, to);
    }
    bool SetReadOnly(const std::string& path, bool readOnly) override {
        return Live("SetReadOnly", path) && real_.SetReadOnly(path, readOnly);
    }
    std::vector<platform::DirectoryEntry> ListFolder(const std::string& folder) override {
        if (!Live("ListFolder", folder)) return {};
        return real_.ListFolder(folder);
    }
    std::optional<std::vector<platform::DirectoryEntry>> TryListFolder(const std::string& folder) override {
        if (!Live("TryListFolder", folder)) return std::nullopt;
        return real_.TryListFolder(folder);
    }
    bool SetAttributes(const std::string& path, std::uint32_t attributes) override {
        return Live("SetAttributes", path) && real_.SetAttributes(path, attributes);
    }
    bool DeleteAtRestart(const std::string& path) override {
        return Live("DeleteAtRestart", path) && real_.DeleteAtRestart(path);
    }
    std::optional<platform::FileIdentity> IdentityOf(const std::string& path) override {
        if (!Live("IdentityOf", path)) return std::nullopt;
        return real_.IdentityOf(path);
    }
    platform::OpenedFolder OpenFolder(const std::string& path) override {
        if (!Live("OpenFolder", path)) return {};
        return real_.OpenFolder(path);
    }
    std::string ReadWholeFile(const std::string& path) override {
        if (!Live("ReadWholeFile", path)) return {};
        return real_.ReadWholeFile(path);
    }
    void WriteWholeFile(const std::string& path, const std::string& content) override {
        if (Live("WriteWholeFile", path)) real_.WriteWholeFile(path, content);
    }
    std::unique_ptr<platform::FileWriter> BeginWrite(const std::string& path) override {
        if (!Live("BeginWrite", path)) return std::make_unique<Writer>(*this, path, nullptr);
        return std::make_unique<Writer>(*this, path, real_.BeginWrite(path));
    }

private:
    // The real writer behind a live layer. Once the layer is dead it is
    // never destroyed (its destructor would remove the temporary file, which
    // a crash does not); it is kept where nothing frees it.
    class Writer final : public platform::FileWriter {
    public:
        Writer(DyingFileSystem& files, std::string path, std::unique_ptr<platform::FileWriter> real)
            : files_(files), path_(std::move(path)), real_(std::move(real)) {}
        ~Writer() override {
            if (!real_) return;
            // Dropping an uncommitted writer removes its temporary file: an
            // operation like any other, but one that cannot raise.
            if (!committed_ && files_.Live("DiscardWriter", path_, false)) return;
            if (files_.dead_) Abandon(std::move(real_));
        }
        void Write(const char* bytes, std::size_t count) override {
            if (files_.Live("Write", path_) && real_) real_->Write(bytes, count);
        }
        void Commit() override {
            if (!files_.Live("Commit", path_) || !real_) return;
            real_->Commit();
            committed_ = true;
        }

    private:
        static void Abandon(std::unique_ptr<platform::FileWriter> writer) {
            static auto* abandoned = new std::vector<std::unique_ptr<platform::FileWriter>>();
            abandoned->push_back(std::move(writer));
        }

        DyingFileSystem& files_;
        std::string path_;
        std::unique_ptr<platform::FileWriter> real_;
        bool committed_ = false;
    };

    // Counts one operation; true when it may reach the disk. At the death
    // point and after it, false, and the crash is raised unless the caller
    // is clean-up (a destructor while the crash unwinds, a handler that
    // puts things back before passing the crash on) or cannot take an
    // exception.
    bool Live(const char* operation, const std::string& what, bool mayRaise = true) {
        if (!dead_) {
            ++count_;
            last_ = std::string(operation) + " " + what;
            if (count_ != deathAt_) return true;
            dead_ = true;
        }
        if (mayRaise && std::uncaught_exceptions() == 0 && !std::current_exception()) {
            ++raises_;
            throw Crashed{deathAt_};
        }
        return false;
    }

    platform::FileSystem& real_;
    long long deathAt_;
    long long count_ = 0;
    bool dead_ = false;
    int raises_ = 0;
    std::string last_;
};

}  // namespace klv::test
