#pragma once

#include "platform/Operation.h"
#include "services/TNCopySubsController.h"

#include <QByteArray>

#include <functional>

// Writes one downloaded subtitle on its queue's thread, so that unpacking and disk work never
// hold the window, then hands the result to the main thread and waits until it is taken: a
// batch ends only after its results. What was downloaded is written even when the batch is
// cancelled, as it was counted as downloaded.
class SubtitleWriteOperation final : public Operation
{
    Q_OBJECT

public:
    enum class Content
    {
        File,
        Archive
    };
    // Called on the main thread with whether the subtitle was written.
    using Report = std::function<void(bool written)>;

    SubtitleWriteOperation(QByteArray data, Content content, SubtitleTarget target, Report report);

    // So that main() runs even once cancelled.
    bool isAsynchronous() const override { return true; }

protected:
    void main() override;

private:
    QByteArray m_data;
    Content m_content;
    SubtitleTarget m_target;
    Report m_report;
};
