#include "services/ServiceSettings.h"

#include "platform/UrlLoader.h"
#include "platform/UserDefaults.h"

namespace ServiceSettings {

int requestTimeoutMs()
{
    constexpr qint64 DefaultSeconds = 30;
    constexpr qint64 LongestSeconds = 3600;
    const qint64 seconds = UserDefaults::standard().integerValue(QStringLiteral("RequestTimeout"));
    return int((seconds > 0 ? qMin(seconds, LongestSeconds) : DefaultSeconds) * 1000);
}

double requestDeadlineSeconds()
{
    // The same allowance as the loader gives the services' own requests.
    return UrlRequest::DeadlineFactor * requestTimeoutMs() / 1000.0;
}

} // namespace ServiceSettings
