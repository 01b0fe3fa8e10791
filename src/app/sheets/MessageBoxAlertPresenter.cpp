#include "app/sheets/MessageBoxAlertPresenter.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>

void MessageBoxAlertPresenter::present(const AlertRequest &request, std::function<void(bool)> done)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QGuiApplication::applicationDisplayName(),
                                request.message, QMessageBox::Ok, request.window.data());
    box->setObjectName(QStringLiteral("TNAlertBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setInformativeText(request.information);
    QCheckBox *suppression = nullptr;
    if (request.showSuppression) {
        suppression =
            new QCheckBox(QCoreApplication::translate("TNAlert", "Do not show this message again"));
        box->setCheckBox(suppression);
    }
    box->setWindowModality(request.window ? Qt::WindowModal : Qt::ApplicationModal);
    QObject::connect(box, &QMessageBox::finished, box, [suppression, done = std::move(done)] {
        done(suppression && suppression->isChecked());
    });
    box->open();
}
