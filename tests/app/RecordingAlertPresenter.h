#pragma once

#include "app/sheets/AlertPresenter.h"

#include <QList>

// Keeps every alert it is asked to show; the test dismisses them.
class RecordingAlertPresenter final : public AlertPresenter
{
public:
    struct Shown
    {
        AlertRequest request;
        std::function<void(bool)> done;
        bool dismissed = false;
    };

    void present(const AlertRequest &request, std::function<void(bool)> done) override
    {
        shown.append({request, std::move(done), false});
    }

    // Dismisses the oldest alert still on screen.
    void dismiss(bool suppressionTicked = false)
    {
        for (Shown &alert : shown) {
            if (!alert.dismissed) {
                alert.dismissed = true;
                alert.done(suppressionTicked);
                return;
            }
        }
    }

    void dismissAll()
    {
        while (std::any_of(shown.begin(), shown.end(), [](const Shown &a) { return !a.dismissed; }))
            dismiss();
    }

    QStringList messages() const
    {
        QStringList list;
        for (const Shown &alert : shown)
            list.append(alert.request.message);
        return list;
    }

    QList<Shown> shown;
};
