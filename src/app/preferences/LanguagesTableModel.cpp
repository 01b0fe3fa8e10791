#include "app/preferences/LanguagesTableModel.h"

#include "app/preferences/ValueTransformers.h"

#include <QMimeData>

#include <algorithm>

LanguagesTableModel::LanguagesTableModel(QStringList supportedLangs, QObject *parent)
    : QAbstractListModel(parent), m_supportedLangs(std::move(supportedLangs))
{}

int LanguagesTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_supportedLangs.size());
}

QVariant LanguagesTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const QString &code = m_supportedLangs.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return BindingTransformersRegistry::transformedValue(
            BindingTransformersRegistry::LanguageNameTransformName, code);
    case Qt::DecorationRole:
        return ValueTransformers::countryImageTransformSmall(code);
    case Qt::ToolTipRole:
        return code;
    default:
        return {};
    }
}

Qt::ItemFlags LanguagesTableModel::flags(const QModelIndex &index) const
{
    return QAbstractListModel::flags(index) | Qt::ItemIsDragEnabled;
}

QStringList LanguagesTableModel::mimeTypes() const
{
    return {QStringLiteral("text/plain")};
}

QMimeData *LanguagesTableModel::mimeData(const QModelIndexList &indexes) const
{
    const auto first = std::min_element(
        indexes.begin(), indexes.end(),
        [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    if (first == indexes.end() || !checkIndex(*first, CheckIndexOption::IndexIsValid))
        return nullptr;
    auto *data = new QMimeData;
    data->setText(m_supportedLangs.at(first->row()));
    return data;
}

Qt::DropActions LanguagesTableModel::supportedDragActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}
