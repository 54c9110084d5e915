// Failures of the FTP client. Every failure is raised as TKNFtpError whose message is the
// text to show; a reply whose code the command does not accept is the sub-class
// TKNFtpReplyError, so that callers can tell a refusal by the server from a broken
// connection.
#pragma once

#include <stdexcept>
#include <string>

namespace kn {

class TKNFtpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A reply code the command does not accept. `Code` is the reply's three-digit code, or 0 when
// no reply came in time; the message is the server's reply text (or says that none came).
class TKNFtpReplyError : public TKNFtpError {
public:
    TKNFtpReplyError(int code, const std::string& text) : TKNFtpError(text), Code(code) {}
    int Code;
};

// The server's certificate is trusted neither by the system nor by the user yet: the one failure
// that recording it mends (a certificate other than the one recorded is a plain TKNFtpError).
class TKNFtpUntrusted : public TKNFtpError {
public:
    using TKNFtpError::TKNFtpError;
};

}  // namespace kn
