#pragma once

#include <QAbstractTableModel>
#include <QVariantList>

class UserDefaults;

// The service entries of the "servers" setting, one row each: whether the service is used,
// which service it is, and the account's user name. Edits are stored at once, and the rows
// follow changes made elsewhere.
class ServersTableModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        EnabledColumn,
        ServiceColumn,
        UserNameColumn,
        ColumnCount
    };

    explicit ServersTableModel(UserDefaults &defaults, QObject *parent = nullptr);

    // The entry of the row; empty for an element that is no entry.
    QVariantMap entry(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

private:
    void reload();
    bool store(int row, const QString &field, const QVariant &value);

    UserDefaults &m_defaults;
    QVariantList m_servers;
};
