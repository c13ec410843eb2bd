#pragma once

#include "channellist.h"

#include <QAbstractListModel>
#include <QList>

// The loaded channels, in list order: the name for display and the URL the
// player is sent to. Only ever appended to; a refresh empties it.
class ChannelModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { UrlRole = Qt::UserRole + 1 };

    explicit ChannelModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // The entry at row, or an empty one when there is no such row.
    ChannelEntry entry(int row) const;
    const QList<ChannelEntry> &entries() const { return m_entries; }

    void append(const QList<ChannelEntry> &entries);
    void clear();

private:
    QList<ChannelEntry> m_entries;
};
