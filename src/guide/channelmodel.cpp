#include "channelmodel.h"

ChannelModel::ChannelModel(QObject *parent) : QAbstractListModel(parent)
{
}

int ChannelModel::rowCount(const QModelIndex &parent) const
{
    // A flat list: rows hang off the root only.
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant ChannelModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_entries.size())
        return {};
    const ChannelEntry &e = m_entries.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return e.name;
    case UrlRole:
        return e.url;
    default:
        return {};
    }
}

ChannelEntry ChannelModel::entry(int row) const
{
    return m_entries.value(row);
}

void ChannelModel::append(const QList<ChannelEntry> &entries)
{
    if (entries.isEmpty())
        return;
    // One insertion for the whole batch: a view lays out a full list once.
    const int first = int(m_entries.size());
    beginInsertRows(QModelIndex(), first, first + int(entries.size()) - 1);
    m_entries.append(entries);
    endInsertRows();
}

void ChannelModel::clear()
{
    beginResetModel();
    m_entries.clear();
    endResetModel();
}
