// Files for stubpack: a read-only byte source over a path, and an output file that appears under
// its final name only when it was written completely.
#pragma once

#include <cstdint>
#include <string>

#include "package/package_reader.h"
#include "progress.h"

namespace stubpack {

// The system's file handle: a descriptor on Linux, a HANDLE on Windows.
#ifdef _WIN32
using NativeFile = void*;
#else
using NativeFile = int;
#endif

// Paths are UTF-8 on both systems; on Windows they may use drive letters, backslashes, UNC names
// and any length.
class FileSource final : public package::ByteSource {
public:
    explicit FileSource(const std::string& path);  // throws InputError
    ~FileSource();
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::uint64_t Length() const override { return length_; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override;
    NativeFile Native() const { return file_; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    NativeFile file_;
    std::uint64_t length_ = 0;
};

// A directory that output files are written into, held open so that every file is created
// relative to it (a path swapped for a link while stubpack runs does not redirect them).
class OutputDirectory {
public:
    // create: make the directory when it does not exist yet.
    OutputDirectory(const std::string& path, bool create);  // throws InputError
    ~OutputDirectory();
    OutputDirectory(const OutputDirectory&) = delete;
    OutputDirectory& operator=(const OutputDirectory&) = delete;
    const std::string& Path() const { return path_; }
    // The path of an entry inside it, as messages show it.
    std::string Entry(const std::string& name) const;

private:
    friend class AtomicOutputFile;
    std::string path_;
    NativeFile dir_;
};

// A file that appears under its name only complete: written to a new temporary file inside the
// directory (never through a link), made durable, then renamed over the name, which replaces a
// planted link itself, never its target. Destroyed without Commit, it removes the temporary file.
class AtomicOutputFile {
public:
    AtomicOutputFile(const OutputDirectory& dir, const std::string& name);  // throws InputError
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    void Write(const void* data, std::size_t n);
    // Appends n bytes of source from offset, streamed, so memory stays flat whatever n is.
    // Returns how many were copied: fewer than n only when the source ends early.
    std::uint64_t CopyFrom(const FileSource& source, std::uint64_t offset, std::uint64_t n,
                           Progress* progress = nullptr);
    std::uint64_t Position() const { return position_; }
    const std::string& Shown() const { return shown_; }  // the final path, for messages
    void Commit(unsigned mode);

private:
    const OutputDirectory& dir_;
    std::string name_, temporary_, shown_;
    NativeFile file_;
    std::uint64_t position_ = 0;
    bool committed_ = false;
};

// True when both paths name the same existing file.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace stubpack
