#include "channelguide.h"

#include "channellist.h"
#include "channelmodel.h"
#include "channelnames.h"
#include "net/weburl.h"
#include "pinyin.h"

#include <QItemSelectionModel>
#include <QTimer>

#include <algorithm>

ChannelGuide::ChannelGuide(const VendorSite &site, QObject *parent)
    : QObject(parent), m_site(site), m_model(new ChannelModel(this)),
      m_selection(new QItemSelectionModel(m_model, this)), m_dropTimer(new QTimer(this))
{
    m_dropTimer->setSingleShot(true);
    m_dropTimer->setTimerType(Qt::PreciseTimer);
    m_dropTimer->setInterval(std::chrono::seconds(10));
    connect(m_dropTimer, &QTimer::timeout, this, &ChannelGuide::sourceFailed);
}

void ChannelGuide::setDropLimit(std::chrono::milliseconds limit)
{
    m_dropTimer->setInterval(limit);
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
    m_keys.clear();

    const int count = channelCount();
    emit captionChanged(count < 1 ? QStringLiteral("电视节目表单更新失败")
                                  : QStringLiteral("电视节目表单 ") + QString::number(count));
    emit listLoaded(count);
}

void ChannelGuide::clear()
{
    endSearch();
    m_keys.clear();
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
    endSearch();
    emit nowPlaying(-1, QString());
    emit showRequested(QUrl(m_site.stopPage()), {}, {});
}

const QStringList &ChannelGuide::keys()
{
    if (m_keys.isEmpty()) {
        for (const ChannelEntry &e : m_model->entries())
            m_keys.append(ChannelNames::key(e.name));
    }
    return m_keys;
}

void ChannelGuide::endSearch()
{
    m_dropTimer->stop();
    m_search.clear();
    m_searchAt = -1;
}

void ChannelGuide::playSelection()
{
    endSearch();
    m_search = ChannelNames::sourcesFrom(keys(), selectedChannel());
    playSource(0);
}

void ChannelGuide::playSource(int at)
{
    const int sources = int(m_search.size());
    for (; at < sources; ++at) {
        const int row = m_search.at(at);
        // The list comes from the network: only addresses the player may
        // open reach it. Another source of the channel may do better.
        const ChannelAddress channel = ChannelAddresses::split(m_model->entry(row).url);
        const QUrl url = WebUrl::playable(channel.address);
        if (url.isEmpty() && at + 1 < sources)
            continue;
        m_searchAt = at;
        if (row != selectedChannel())
            select(row);
        emit nowPlaying(row, m_model->entry(row).name);
        if (url.isEmpty()) {
            emit playRefused(WebUrl::refusal(channel.address));
            return emit channelEnded();
        }
        QString source;
        if (sources > 1) {
            // Its place among the channel's rows in list order.
            const auto before = std::count_if(
                m_search.cbegin(), m_search.cend(), [row](int r) { return r < row; });
            source = QStringLiteral("线路 %1/%2").arg(before + 1).arg(sources);
        }
        return emit showRequested(url, channel.headers, source);
    }
}

void ChannelGuide::sourcePlaying()
{
    m_dropTimer->stop();
}

void ChannelGuide::sourceDropped()
{
    if (m_searchAt >= 0 && m_searchAt + 1 < m_search.size())
        m_dropTimer->start();
}

void ChannelGuide::sourceFailed()
{
    m_dropTimer->stop();
    if (m_searchAt < 0)
        return endSearch();
    if (m_searchAt + 1 >= m_search.size()) {
        endSearch();
        return emit channelEnded();
    }
    playSource(m_searchAt + 1);
}
