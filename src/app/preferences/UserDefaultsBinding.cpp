#include "app/preferences/UserDefaultsBinding.h"

#include "platform/UserDefaults.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

namespace {

// Runs show now and whenever the key changes, for as long as the control lives.
template <typename Control, typename Show>
void follow(Control *control, const QString &key, UserDefaults &defaults, Show show)
{
    show();
    QObject::connect(&defaults, &UserDefaults::valueChanged, control,
                     [key, show](const QString &changed) {
                         if (changed == key)
                             show();
                     });
}

} // namespace

void UserDefaultsBinding::bind(QCheckBox *box, const QString &key, UserDefaults &defaults)
{
    follow(box, key, defaults, [box, key, &defaults] { box->setChecked(defaults.boolValue(key)); });
    QObject::connect(box, &QCheckBox::toggled, box, [key, &defaults](bool checked) {
        if (defaults.boolValue(key) != checked)
            defaults.setValue(key, checked);
    });
}

void UserDefaultsBinding::bind(QLineEdit *field, const QString &key, UserDefaults &defaults)
{
    follow(field, key, defaults, [field, key, &defaults] {
        field->setText(defaults.stringValue(key));
        field->setModified(false);
    });
    QObject::connect(field, &QLineEdit::editingFinished, field, [field, key, &defaults] {
        if (field->isModified())
            defaults.setValue(key, field->text());
        field->setModified(false);
    });
}

void UserDefaultsBinding::bind(QComboBox *choice, const QString &key, UserDefaults &defaults)
{
    follow(choice, key, defaults, [choice, key, &defaults] {
        choice->setCurrentIndex(choice->findData(static_cast<int>(defaults.integerValue(key))));
    });
    QObject::connect(choice, &QComboBox::activated, choice, [choice, key, &defaults](int index) {
        defaults.setValue(key, choice->itemData(index));
    });
}
