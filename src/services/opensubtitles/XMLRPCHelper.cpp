#include "services/opensubtitles/XMLRPCHelper.h"

#include "platform/Logging.h"
#include "platform/XMLRPC.h"
#include "services/ServiceSettings.h"

std::optional<QVariantMap> XMLRPCHelper::sendSyncRequest(const QUrl &url, const QString &method,
                                                         const QVariantList &params, Error *error,
                                                         const UrlLoader::CancelCheck &cancel)
{
    if (!url.isValid())
        return std::nullopt;
    QString unsendable;
    std::optional<QByteArray> body = XMLRPC::encodeCall(method, params, &unsendable);
    if (!body) {
        qCWarning(lcServices).noquote() << method << "not sent:" << unsendable;
        setError(error, Error::withDescription(TransportErrorDomain, Unsendable, unsendable));
        return std::nullopt;
    }
    UrlRequest request;
    request.url = url;
    request.method = "POST";
    request.headers = {{"Content-Type", "text/xml"}};
    request.body = *std::move(body);
    request.timeoutMs = ServiceSettings::requestTimeoutMs();
    const UrlResponse response = UrlLoader::load(request, cancel);
    if (!response.error.isNull()) {
        qCInfo(lcServices) << method << "failed:" << response.error.localizedDescription();
        setError(error, response.error);
        return std::nullopt;
    }
    if (response.status != 200) {
        qCInfo(lcServices) << method << "answered HTTP status" << response.status;
        setError(error,
                 Error::withDescription(TransportErrorDomain, HttpStatus,
                                        QStringLiteral("HTTP status %1").arg(response.status)));
        return std::nullopt;
    }
    const XMLRPCResponse reply = XMLRPC::decodeResponse(response.body);
    switch (reply.kind) {
    case XMLRPCResponse::Kind::Malformed:
        qCInfo(lcServices) << method << "gave an unreadable reply:" << reply.problem;
        setError(error,
                 Error::withDescription(TransportErrorDomain, UnreadableReply, reply.problem));
        return std::nullopt;
    case XMLRPCResponse::Kind::Fault:
        qCInfo(lcServices) << method << "fault" << reply.faultCode << reply.faultString;
        setError(error, Error(ErrorDomain, reply.faultCode));
        return std::nullopt;
    case XMLRPCResponse::Kind::Value:
        break;
    }
    if (reply.value.typeId() != QMetaType::QVariantMap) {
        setError(error, Error::withDescription(TransportErrorDomain, NotAStruct,
                                               QStringLiteral("The reply is not a struct")));
        return std::nullopt;
    }
    return reply.value.toMap();
}
