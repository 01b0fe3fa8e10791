#include "http/ProgressIndicator.h"

#include "http/SelectorCall.h"

#include "platform/MainThread.h"

#include <QPointer>

#include <algorithm>

namespace ProgressIndicator {

namespace {

void send(QObject *receiver, const char *method, double value)
{
    if (!receiver)
        return;
    const QPointer<QObject> target(receiver);
    const auto deliver = [target, method, value] {
        if (target && SelectorCall::methodIndex(target, method, "double") >= 0)
            QMetaObject::invokeMethod(target, method, Qt::DirectConnection, Q_ARG(double, value));
    };
    if (MainThread::isCurrent())
        deliver();
    else
        MainThread::post(deliver);
}

} // namespace

void setMaxValue(QObject *receiver, double value)
{
    send(receiver, "setMaxValue", value);
}

void setDoubleValue(QObject *receiver, double value)
{
    send(receiver, "setDoubleValue", value);
}

void update(QObject *receiver, quint64 progress, quint64 total)
{
    const auto signedTotal = qint64(total);
    if (signedTotal == 0)
        return;
    setDoubleValue(receiver, std::clamp(double(qint64(progress)) / double(signedTotal), 0.0, 1.0));
}

} // namespace ProgressIndicator
