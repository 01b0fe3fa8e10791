#pragma once

#include "platform/Error.h"

#include <QString>

// The errors of the domain "HTTPRequestErrorDomain". Time-out, authentication, cancellation,
// bad URL and redirect loop failures always pass the same shared objects.
class HTTPRequestError
{
public:
    static inline const QString Domain = QStringLiteral("HTTPRequestErrorDomain");
    static inline const QString FailureReasonKey = QStringLiteral("NSLocalizedFailureReason");

    enum Code
    {
        ConnectionFailure = 1,
        RequestTimedOut = 2,
        AuthenticationNeeded = 3,
        RequestCancelled = 4,
        UnableToCreateRequest = 5,
        InternalErrorWhileBuildingRequest = 6,
        InternalErrorWhileApplyingCredentials = 7,
        FileManagement = 8,
        TooMuchRedirection = 9,
        Unhandled = 10,
    };

    static const Error &timedOut();
    static const Error &authenticationNeeded();
    static const Error &cancelled();
    static const Error &unableToCreateRequest();
    static const Error &tooMuchRedirection();

    // Code 1 over the stream's error; TLS failures name the certificate as the likely cause,
    // others the reason when there is one.
    static Error connectionFailure(const Error &underlying, bool tls, const QString &reason = {});
    static Error withText(Code code, const QString &description, const Error &underlying = {});
    // Code 5 for a request header that cannot go on a header line.
    static Error refusedHeader(const QString &name);
    // Code 10 for an exception escaping the request's main step.
    static Error unhandledException(const QString &name, const QString &reason,
                                    const QVariantMap &userInfo);
};
