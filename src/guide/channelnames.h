#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// Lists gathered from many sources name one channel several times, each row
// with another address: those rows are the channel's sources.
namespace ChannelNames {

// What two names of one channel share: the name without letter case, with
// full-width forms read as half-width, without blanks and hyphens.
// "CCTV-5", "cctv 5" and "ＣＣＴＶ－５" give one key; "CCTV-5+" another.
QString key(QStringView name);

inline bool sameChannel(QStringView a, QStringView b)
{
    return key(a) == key(b);
}

// The rows to try for a request of row, of the rows whose names have keys:
// row first, then the same channel's later rows in list order, round past
// the end, each once.
QList<int> sourcesFrom(const QStringList &keys, int row);

} // namespace ChannelNames
