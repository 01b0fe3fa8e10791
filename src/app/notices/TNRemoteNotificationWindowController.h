#pragma once

#include "app/notices/TNRemoteNotification.h"

#include <QDialog>

#include <memory>
#include <optional>

struct UrlResponse;
class UserDefaults;

namespace Ui {
class TNRemoteNotificationWindowController;
}

// Shows the page of a notice in a window of its own, once the page has loaded well; links
// clicked in it open in the user's browser.
class TNRemoteNotificationWindowController final : public QDialog
{
    Q_OBJECT

public:
    explicit TNRemoteNotificationWindowController(UserDefaults &defaults,
                                                  QWidget *parent = nullptr);
    ~TNRemoteNotificationWindowController() override;

    // Loads the page in the background; the window stays hidden until it has loaded.
    void showNotification(const TNRemoteNotification &notification);
    void okButtonClicked();

    const std::optional<TNRemoteNotification> &remoteNotification() const
    {
        return m_remoteNotification;
    }

Q_SIGNALS:
    // The page load ended, shown or not.
    void loadEnded();

private:
    void didFinishLoad(const UrlResponse &response);
    void didFailLoad();
    void decidePolicyForNavigationAction(const QUrl &link);

    std::unique_ptr<Ui::TNRemoteNotificationWindowController> m_ui;
    UserDefaults &m_defaults;
    std::optional<TNRemoteNotification> m_remoteNotification;
};
