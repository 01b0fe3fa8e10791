#pragma once

// How the service clients talk to their services.
namespace ServiceSettings {

// The "RequestTimeout" setting in seconds: a request ends when nothing has moved for
// that long. 30 when unset or not positive.
int requestTimeoutMs();

} // namespace ServiceSettings
