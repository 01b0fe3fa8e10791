#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class AboutWindow;
}

// The about window: version, web site and acknowledgements.
class TNAboutWindowController final : public QDialog
{
    Q_OBJECT

public:
    static inline const QString AcknowledgementsResource = QStringLiteral(":/acks.html");

    // The one window, made on first use and kept until the application quits.
    static TNAboutWindowController &aboutController();

    explicit TNAboutWindowController(const QString &acknowledgements = AcknowledgementsResource,
                                     QWidget *parent = nullptr);
    ~TNAboutWindowController() override;

    void showWindow();

private:
    void windowDidLoad();

    std::unique_ptr<Ui::AboutWindow> m_ui;
};
