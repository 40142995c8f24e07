#pragma once
// The failure kinds of the HTTP transport. Callers treat them alike, but the
// messages and the carried status, status line and body are part of the
// contract (tests and the command-line client show them).
#include <string>

#include "platform/error.h"

namespace klv {

// Base of every transport failure; also "Undefined situation" and
// "IOHandler value is not valid".
class EIdException : public Error {
public:
    using Error::Error;
};

// A status that is not accepted. what() is the status line.
class EIdHTTPProtocolException : public EIdException {
public:
    EIdHTTPProtocolException(int status, const std::string& statusLine, std::string body)
        : EIdException(statusLine), status_(status), body_(std::move(body)) {}
    int ErrorCode() const { return status_; }
    // The text of the answer's body.
    const std::string& ErrorMessage() const { return body_; }

private:
    int status_;
    std::string body_;
};

// "Socket Error # %d\r\n%s".
class EIdSocketError : public EIdException {
public:
    EIdSocketError(int error, const std::string& text)
        : EIdException("Socket Error # " + std::to_string(error) + "\r\n" + text), error_(error) {}
    int LastError() const { return error_; }

private:
    int error_;
};

// "Connection Closed Gracefully."
class EIdConnClosedGracefully : public EIdException {
public:
    EIdConnClosedGracefully() : EIdException("Connection Closed Gracefully.") {}
};

// "Read Timeout"
class EIdReadTimeout : public EIdException {
public:
    EIdReadTimeout() : EIdException("Read Timeout") {}
};

// "Max line length exceeded."
class EIdReadLnMaxLineLengthExceeded : public EIdException {
public:
    EIdReadLnMaxLineLengthExceeded() : EIdException("Max line length exceeded.") {}
};

// A URL of another scheme without a port; the message is empty.
class EIdUnknownProtocol : public EIdException {
public:
    EIdUnknownProtocol() : EIdException("") {}
};

}  // namespace klv
