#include "http/HTTPRequestError.h"

#include <QCoreApplication>
#include <QVariant>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("HTTPRequest", text);
}

Error shared(int code, const char *text)
{
    return Error::withDescription(HTTPRequestError::Domain, code, tr(text));
}

} // namespace

const Error &HTTPRequestError::timedOut()
{
    static const Error error = shared(RequestTimedOut, "The request timed out");
    return error;
}

const Error &HTTPRequestError::authenticationNeeded()
{
    static const Error error = shared(AuthenticationNeeded, "Authentication needed");
    return error;
}

const Error &HTTPRequestError::cancelled()
{
    static const Error error = shared(RequestCancelled, "The request was cancelled");
    return error;
}

const Error &HTTPRequestError::unableToCreateRequest()
{
    static const Error error = shared(UnableToCreateRequest, "Unable to create request (bad url?)");
    return error;
}

const Error &HTTPRequestError::tooMuchRedirection()
{
    static const Error error =
        shared(TooMuchRedirection, "The request failed because it redirected too many times");
    return error;
}

Error HTTPRequestError::connectionFailure(const Error &underlying, bool tls, const QString &reason)
{
    QString text = tr("A connection failure occurred");
    if (tls)
        text = tr("%1: SSL problem (possibly a bad/expired/self-signed certificate)").arg(text);
    else if (!reason.isEmpty())
        text = tr("%1: %2").arg(text, reason);
    return withText(ConnectionFailure, text, underlying);
}

Error HTTPRequestError::withText(Code code, const QString &description, const Error &underlying)
{
    QVariantMap userInfo;
    if (!underlying.isNull())
        userInfo.insert(Error::UnderlyingErrorKey, QVariant::fromValue(underlying));
    return Error::withDescription(Domain, code, description, userInfo);
}

Error HTTPRequestError::refusedHeader(const QString &name)
{
    // The name itself may be what is wrong; it is shown with its unprintable bytes escaped.
    const QByteArray shown = name.toUtf8().toPercentEncoding(" !\"#$&'()*+,/:;<=>?@[\\]^`{|}");
    return withText(UnableToCreateRequest,
                    tr("Unable to create request: the header %1 holds a control character or is "
                       "not a valid name")
                        .arg(QString::fromLatin1(shown)));
}

Error HTTPRequestError::unhandledException(const QString &name, const QString &reason,
                                           const QVariantMap &userInfo)
{
    QVariantMap info;
    info.insert(FailureReasonKey, reason);
    info.insert(Error::UnderlyingErrorKey, QVariant::fromValue(Error(Domain, Unhandled, userInfo)));
    return Error::withDescription(Domain, Unhandled, name, info);
}
