#pragma once

#include "platform/Error.h"

#include <QString>

// Why an exchange failed, by meaning rather than by any platform's numbers.
struct StreamError
{
    enum class Kind
    {
        None,
        ConnectionLost, // peer closed or reset before the response was complete
        CannotConnect,  // refused, unreachable, or the proxy would not connect
        HostNotFound,
        Tls,               // handshake or certificate failure
        BadServerResponse, // malformed head, bad chunking, bad or conflicting length
        BodyReadFailed,    // the request body could not be read to its announced length
    };

    static inline const QString Domain = QStringLiteral("HTTPStreamErrorDomain");

    Kind kind = Kind::None;
    QString text;

    bool isNull() const { return kind == Kind::None; }
    // Whether the text says what went wrong in the exchange itself (a malformed response, one
    // cut short, a body that could not be sent), which the caller is told.
    bool isExchangeFault() const
    {
        return kind == Kind::BadServerResponse || kind == Kind::ConnectionLost ||
               kind == Kind::BodyReadFailed;
    }
    Error toError() const { return Error::withDescription(Domain, qint64(kind), text); }
};
