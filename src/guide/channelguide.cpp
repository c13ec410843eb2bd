#include "channelguide.h"

#include "channellist.h"
#include "channelmodel.h"
#include "net/weburl.h"
#include "pinyin.h"

#include <QItemSelectionModel>

ChannelGuide::ChannelGuide(const VendorSite &site, QObject *parent)
    : QObject(parent), m_site(site), m_model(new ChannelModel(this)),
      m_selection(new QItemSelectionModel(m_model, this))
{
}

int ChannelGuide::channelCount() const
{
    return m_model->rowCount();
}

void ChannelGuide::loadList(const QString &bodyText)
{
    QList<ChannelEntry> entries = ChannelList::parse(bodyText).entries;
    // The model is only ever appended to and a refresh empties it first; the
    // count still never passes the limit, whatever the caller did before.
    const int room = ChannelList::MaxChannels - channelCount();
    if (entries.size() > room)
        entries.resize(room);
    m_model->append(entries);

    const int count = channelCount();
    emit captionChanged(count < 1 ? QStringLiteral("电视节目表单更新失败")
                                  : QStringLiteral("电视节目表单 ") + QString::number(count));
    emit listLoaded(count);
}

void ChannelGuide::clear()
{
    m_model->clear();
}

int ChannelGuide::selectedChannel() const
{
    // Keyboard focus alone makes a row current without selecting it, which
    // must not count as a channel.
    const QModelIndexList rows = m_selection->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ChannelGuide::select(int row)
{
    // As a click does: the row becomes the only selected and the current one.
    m_selection->setCurrentIndex(m_model->index(row, 0), QItemSelectionModel::ClearAndSelect);
}

void ChannelGuide::playSelected()
{
    if (channelCount() < 1)
        return;
    if (selectedChannel() < 0)
        select(0);
    playSelection();
}

void ChannelGuide::next()
{
    const int count = channelCount();
    if (count < 1)
        return;
    const int i = selectedChannel();
    select(i != count - 1 ? i + 1 : 0);
    playSelection();
}

void ChannelGuide::previous()
{
    const int count = channelCount();
    if (count < 1)
        return;
    const int i = selectedChannel();
    // With nothing selected, step back to the last channel, the mirror of
    // Channel + picking the first.
    select(i > 0 ? i - 1 : count - 1);
    playSelection();
}

void ChannelGuide::step(int direction)
{
    direction < 0 ? previous() : next();
}

bool ChannelGuide::selectTyped(QStringView typed, bool afresh)
{
    const QList<ChannelEntry> &entries = m_model->entries();
    const int count = int(entries.size());
    const int selected = selectedChannel();
    const int start = selected < 0 ? 0 : (afresh ? selected + 1 : selected);
    for (int i = 0; i < count; ++i) {
        const int row = (start + i) % count;
        if (Pinyin::nameStartsWith(entries.at(row).name, typed)) {
            if (row != selected)
                select(row);
            return true;
        }
    }
    return false;
}

void ChannelGuide::stop()
{
    emit nowPlaying(-1, QString());
    emit showRequested(QUrl(m_site.stopPage()), {});
}

void ChannelGuide::playSelection()
{
    // The list comes from the network: only addresses the player may open
    // reach it.
    const int row = selectedChannel();
    const ChannelEntry entry = m_model->entry(row);
    emit nowPlaying(row, entry.name);
    const ChannelAddress channel = ChannelAddresses::split(entry.url);
    const QUrl url = WebUrl::playable(channel.address);
    if (url.isEmpty())
        emit playRefused(WebUrl::refusal(channel.address));
    else
        emit showRequested(url, channel.headers);
}
