#pragma once

#include <QString>
#include <expected>

// Failures travel as values: a kind callers branch on and a description for
// logs and the user. "Not modified", "cancelled" and "timed out" stay distinct.
enum class ErrorKind {
    NotModified,        // HTTP 304: nothing new; the caller keeps what it has
    Cancelled,          // the operation was stopped by its owner
    TimedOut,           // our own timeout fired (Qt reports it as a cancellation)
    BadURL,             // the address could not be formed, or is not http/https
    BadServerResponse,  // not HTTP, or a status the caller does not accept
    Transport,          // connection refused, DNS, TLS, reset...
    TooLarge,           // the body passed its size cap
    Decoding,           // the body did not decode into the expected value
    Io,                 // a local file could not be read or written
    Unavailable,        // a desktop service (secret service, D-Bus peer) is missing
    Locked,             // the keyring runs but has no unlocked keyring to keep a secret in
};

struct Error {
    ErrorKind kind = ErrorKind::Transport;
    QString description;
    int httpStatus = 0;  // the HTTP status when one was received, else 0

    static Error make(ErrorKind kind, QString description = {}, int httpStatus = 0)
    {
        return Error{kind, std::move(description), httpStatus};
    }
    bool is(ErrorKind k) const { return kind == k; }
};

template <class T>
using Result = std::expected<T, Error>;

inline std::unexpected<Error> fail(ErrorKind kind, QString description = {}, int httpStatus = 0)
{
    return std::unexpected(Error::make(kind, std::move(description), httpStatus));
}

QString errorKindName(ErrorKind kind);
