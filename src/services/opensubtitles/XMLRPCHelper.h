#pragma once

#include "platform/Error.h"
#include "platform/UrlLoader.h"

#include <QUrl>
#include <QVariantMap>

#include <optional>

// One synchronous XML-RPC call. Answers the reply's struct, or nothing: on a parameter that
// cannot be sent unaltered (nothing is sent then), a transport failure, an HTTP status other
// than 200, an unreadable reply, a fault, or a reply value that is not a struct. A fault is
// reported as an error of ErrorDomain whose code is the fault code; the other failures as
// errors of TransportErrorDomain or the loader's domain.
class XMLRPCHelper
{
public:
    static inline const QString ErrorDomain = QStringLiteral("trovanel.error");
    static inline const QString TransportErrorDomain = QStringLiteral("trovanel.xmlrpc");
    enum TransportError
    {
        HttpStatus = 1,
        UnreadableReply = 2,
        NotAStruct = 3,
        Unsendable = 4
    };

    static std::optional<QVariantMap> sendSyncRequest(const QUrl &url, const QString &method,
                                                      const QVariantList &params,
                                                      Error *error = nullptr,
                                                      const UrlLoader::CancelCheck &cancel = {});
};
