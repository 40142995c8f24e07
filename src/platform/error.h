#pragma once
// The failure kinds that cross module boundaries. Callers rely on the kind and
// on the exact message text (the default error report shows the message), so
// every raised failure in the launcher derives from klv::Error.
#include <stdexcept>
#include <string>

namespace klv {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A text that should have been an integer: "'%s' is not a valid integer value".
class EConvertError : public Error {
public:
    using Error::Error;
};

// A file that cannot be created or written: "Cannot create file "%s". %s".
class EFCreateError : public Error {
public:
    using Error::Error;
};

// A file that cannot be opened for reading: "Cannot open file "%s". %s".
class EFOpenError : public Error {
public:
    using Error::Error;
};

// Reading past the end of an in-memory stream: "Stream read error".
class EReadError : public Error {
public:
    using Error::Error;
};

// A buffer that cannot be grown: "Out of memory while expanding memory stream".
class EOutOfMemory : public Error {
public:
    using Error::Error;
};
inline constexpr char kStreamOutOfMemoryText[] = "Out of memory while expanding memory stream";

}  // namespace klv
