#pragma once

#include <QAbstractListModel>
#include <QStringList>

// Every supported language as a row to drag onto a preferred-language slot: its flag and its
// own name are shown, its code is what a drag carries, as plain text.
class LanguagesTableModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit LanguagesTableModel(QStringList supportedLangs, QObject *parent = nullptr);

    const QStringList &supportedLangs() const { return m_supportedLangs; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    // The code of the first dragged row.
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override;

private:
    QStringList m_supportedLangs;
};
