#pragma once

// How the service clients talk to their services.
namespace ServiceSettings {

// The "RequestTimeout" setting in seconds: a request ends when nothing has moved for
// that long. 30 when unset or not positive.
int requestTimeoutMs();
// The longest a whole request may take, however steadily its bytes trickle in: four times
// the time-out.
double requestDeadlineSeconds();

} // namespace ServiceSettings
