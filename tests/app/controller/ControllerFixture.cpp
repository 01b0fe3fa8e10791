#include "ControllerFixture.h"

#include "catalogue/ServiceKeys.h"

void ControllerFixture::setServices(bool pod, bool os, bool bs)
{
    const auto entry = [](const QString &key, bool enabled) {
        return QVariantMap{{QStringLiteral("Name"), key},
                           {QStringLiteral("UserName"), QString()},
                           {QStringLiteral("Information"), QString()},
                           {QStringLiteral("LoginEnabled"), false},
                           {QStringLiteral("ServerEnabled"), enabled},
                           {QStringLiteral("URL"), QStringLiteral("http://127.0.0.1:9")}};
    };
    UserDefaults::standard().setValue(QStringLiteral("servers"),
                                      QVariantList{entry(PodnapisiServiceKey, pod),
                                                   entry(OpenSubtitlesServiceKey, os),
                                                   entry(BetaSeriesServiceKey, bs)});
}
