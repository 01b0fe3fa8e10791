#pragma once

#include <QtGlobal>

class QObject;

// Progress receivers: objects with the invokable methods setMaxValue(double) and
// setDoubleValue(double), either of which may be missing. Values reach them on the main
// thread; a receiver destroyed on the way gets nothing.
namespace ProgressIndicator {

void setMaxValue(QObject *receiver, double value);
void setDoubleValue(QObject *receiver, double value);
// Sends progress of total as a fraction in [0, 1]; nothing while the total is 0. Both are
// read as signed, since size corrections may take them below 0 for a moment.
void update(QObject *receiver, quint64 progress, quint64 total);

} // namespace ProgressIndicator
