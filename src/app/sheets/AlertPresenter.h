#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

// One alert as it is shown: the texts, whether the "do not show again" box is offered,
// and the kind that decides which setting the box turns off.
struct AlertRequest
{
    QPointer<QWidget> window;
    QString message;
    QString information;
    bool showSuppression = false;
    qint32 kind = 0;
};

// Puts an alert in front of the user without blocking. done(suppressionTicked) is
// called once, when the user dismisses it.
class AlertPresenter
{
public:
    virtual ~AlertPresenter() = default;
    virtual void present(const AlertRequest &request, std::function<void(bool)> done) = 0;
};
