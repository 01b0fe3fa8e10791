#pragma once

#include "platform/UrlLoader.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <utility>

using QueryItems = QList<std::pair<QString, QString>>;

// Requests to the services' web interfaces.
namespace ServiceRequest {

// The base address with the path and a query of the items in their order. Each value is
// percent-encoded as UTF-8, so "&", "#", "+" and "=" inside a value stay part of it.
QUrl url(const QUrl &base, const QString &path, const QueryItems &items);

// A GET with the configured time-out.
UrlResponse get(const QUrl &url, const UrlLoader::CancelCheck &cancel);

// True when the request got no answer from the server: no connection, or none in time.
bool unreachable(const UrlResponse &response);
bool unreachable(const Error &error);

} // namespace ServiceRequest
