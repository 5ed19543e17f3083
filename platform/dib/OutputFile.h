// A file being written, with every failure reported: the writers of icon and picture files
// must not report success for a file that was cut short by a full disk or a size limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace glyptor::dib {

// The file could not be created or truncated; the message is "Cannot create file " + name.
class FileCreateError : public std::runtime_error {
public:
    explicit FileCreateError(const std::string& fileName);
};

// Writing or closing the file failed; the message names the file and the system's reason.
class FileWriteError : public std::runtime_error {
public:
    FileWriteError(const std::string& fileName, int errorNumber);
};

// Creates the file at a native path, replacing an existing one. Never removes anything itself:
// whether a failed file is deleted is the caller's decision.
class OutputFile {
public:
    // Throws FileCreateError.
    explicit OutputFile(std::string fileName);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Writes all bytes or throws FileWriteError.
    void Write(std::span<const std::uint8_t> bytes);
    // Closes the file; throws FileWriteError when the system reports a failure on close.
    void Close();
    // Closes the file without reporting anything, for a file that is being given up.
    void CloseQuietly() noexcept;

    const std::string& FileName() const { return fileName_; }

private:
    std::string fileName_;
    int descriptor_ = -1;
};

// Removes exactly the regular file of that name: no wildcards; folders, devices and links are
// left alone. Returns false only when such a file exists and could not be removed.
bool RemoveExactFile(const std::string& fileName);

} // namespace glyptor::dib
