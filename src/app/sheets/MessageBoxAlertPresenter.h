#pragma once

#include "app/sheets/AlertPresenter.h"

// Shows each alert as a message box that is modal to its window, with a single "OK"
// button and, when asked for, an unticked "do not show again" box.
class MessageBoxAlertPresenter final : public AlertPresenter
{
public:
    void present(const AlertRequest &request, std::function<void(bool)> done) override;
};
