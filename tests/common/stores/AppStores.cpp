#include "app/sheets/TNAlert.h"
#include "app/sheets/TNLastActionResult.h"
#include "common/FreshStart.h"

#include <QApplication>
#include <QWidget>

namespace {

const bool registered = TestSupport::addStoreReset([] {
    TNAlert::defaultTNAlert() = TNAlert();
    TNLastActionResult::defaultActionResult() = TNLastActionResult();
    for (QWidget *window : QApplication::topLevelWidgets())
        window->close();
});

} // namespace
