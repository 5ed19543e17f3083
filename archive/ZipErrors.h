// Exceptions the archive component raises. Each class carries a fixed message text, which the
// application's general error report shows as it stands.
#pragma once

#include <stdexcept>
#include <string>

namespace glyptor::archive {

// Base of every failure raised by the archive component.
class EZipError : public std::runtime_error {
public:
    explicit EZipError(const std::string& message) : std::runtime_error(message) {}
};

// List misuse: capacity limit, index out of range, duplicate key, replacing in a sorted list.
class EListError : public EZipError {
public:
    explicit EListError(const std::string& message) : EZipError(message) {}
};

// No usable end-of-central-directory record: "Incomplete Zip File".
class EIncompleteZip : public EZipError {
public:
    EIncompleteZip() : EZipError("Incomplete Zip File") {}
};

// The archive stream ends inside an entry's data: "Premature end of file reached".
class EFatalUnzipError : public EZipError {
public:
    explicit EFatalUnzipError(const std::string& message = "Premature end of file reached")
        : EZipError(message) {}
};

// A cancel request or a hook's stop flag ended the operation.
class EUserCanceled : public EZipError {
public:
    explicit EUserCanceled(const std::string& message = "User Aborted Operation")
        : EZipError(message) {}
};

// The compressor's self-check found a match that differs from the window contents.
class EInvalidMatch : public EZipError {
public:
    explicit EInvalidMatch(const std::string& message) : EZipError(message) {}
};

// A stream could not deliver or accept the bytes a caller insisted on.
class EStreamError : public EZipError {
public:
    explicit EStreamError(const std::string& message) : EZipError(message) {}
};

} // namespace glyptor::archive
