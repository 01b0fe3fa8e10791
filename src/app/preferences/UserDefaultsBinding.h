#pragma once

#include <QString>

class QCheckBox;
class QComboBox;
class QLineEdit;
class UserDefaults;

// Ties a control to one settings key both ways: the control shows the key's value and follows
// its changes, and what the user sets in the control is stored at once. The ties last as long
// as the control.
namespace UserDefaultsBinding {

void bind(QCheckBox *box, const QString &key, UserDefaults &defaults);
// The text is stored when editing ends.
void bind(QLineEdit *field, const QString &key, UserDefaults &defaults);
// The items' data are the integer values of the key; a value no item has selects nothing.
void bind(QComboBox *choice, const QString &key, UserDefaults &defaults);

} // namespace UserDefaultsBinding
