#include "app/preferences/ServersTableModel.h"

#include "app/preferences/ValueTransformers.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "platform/UserDefaults.h"

ServersTableModel::ServersTableModel(UserDefaults &defaults, QObject *parent)
    : QAbstractTableModel(parent), m_defaults(defaults),
      m_servers(defaults.listValue(TNUserDefaultsHelper::ServersKey))
{
    connect(&m_defaults, &UserDefaults::valueChanged, this, [this](const QString &key) {
        if (key == TNUserDefaultsHelper::ServersKey)
            reload();
    });
}

void ServersTableModel::reload()
{
    const QVariantList servers = m_defaults.listValue(TNUserDefaultsHelper::ServersKey);
    if (servers == m_servers)
        return;
    // Same rows: keep the selection and any editor open on them.
    if (servers.size() == m_servers.size()) {
        m_servers = servers;
        if (!m_servers.isEmpty())
            Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
        return;
    }
    beginResetModel();
    m_servers = servers;
    endResetModel();
}

QVariantMap ServersTableModel::entry(int row) const
{
    if (row < 0 || row >= m_servers.size())
        return {};
    return m_servers.at(row).toMap();
}

int ServersTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_servers.size());
}

int ServersTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ServersTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const QVariantMap server = entry(index.row());
    const QString name = UserDefaults::stringFromValue(server.value(ServiceEntry::NameKey));
    switch (index.column()) {
    case EnabledColumn:
        if (role == Qt::CheckStateRole)
            return UserDefaults::boolFromValue(server.value(ServiceEntry::ServerEnabledKey))
                       ? Qt::Checked
                       : Qt::Unchecked;
        break;
    case ServiceColumn:
        if (role == Qt::DisplayRole)
            return name;
        if (role == Qt::DecorationRole)
            return BindingTransformersRegistry::transformedValue(
                BindingTransformersRegistry::ImageBindingTransformName, name);
        if (role == Qt::ToolTipRole)
            return UserDefaults::stringFromValue(server.value(ServiceEntry::InformationKey));
        break;
    case UserNameColumn:
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return UserDefaults::stringFromValue(server.value(ServiceEntry::UserNameKey));
        break;
    default:
        break;
    }
    return {};
}

QVariant ServersTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case EnabledColumn:
        return tr("Enabled");
    case ServiceColumn:
        return tr("Service");
    case UserNameColumn:
        return tr("User Name");
    default:
        return {};
    }
}

Qt::ItemFlags ServersTableModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (!index.isValid() || m_servers.at(index.row()).typeId() != QMetaType::QVariantMap)
        return flags;
    if (index.column() == EnabledColumn)
        flags |= Qt::ItemIsUserCheckable;
    if (index.column() == UserNameColumn)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool ServersTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) ||
        !(flags(index) & (Qt::ItemIsUserCheckable | Qt::ItemIsEditable)))
        return false;
    if (index.column() == EnabledColumn && role == Qt::CheckStateRole)
        return store(index.row(), ServiceEntry::ServerEnabledKey, value.toInt() == Qt::Checked);
    if (index.column() == UserNameColumn && role == Qt::EditRole)
        return store(index.row(), ServiceEntry::UserNameKey, value.toString());
    return false;
}

bool ServersTableModel::store(int row, const QString &field, const QVariant &value)
{
    QVariantMap server = entry(row);
    server.insert(field, value);
    QVariantList servers = m_servers;
    servers[row] = server;
    // The rows follow through the change notice.
    m_defaults.setValue(TNUserDefaultsHelper::ServersKey, servers);
    return true;
}
