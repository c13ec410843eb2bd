#include "channelguide.h"

#include "channellist.h"
#include "channelmodel.h"
#include "net/weburl.h"
#include "webview/listpage.h"
#include "webview/playerview.h"

#include <QItemSelectionModel>
#include <QUrl>
#include <QWebEngineHttpRequest>

ChannelGuide::ChannelGuide(
    ListPage *listPage, PlayerView *player, const QString &vendorSite, QObject *parent)
    : QObject(parent), m_listPage(listPage), m_player(player), m_vendorSite(vendorSite),
      m_model(new ChannelModel(this)), m_selection(new QItemSelectionModel(m_model, this))
{
    connect(m_listPage, &QWebEnginePage::loadStarted, this, [this] { ++m_listGeneration; });
    connect(m_listPage, &QWebEnginePage::loadFinished, this, &ChannelGuide::listPageLoaded);
    // Page Up and Page Down from the fullscreen player step the channel too.
    connect(m_player, &PlayerView::channelStepRequested, this,
        [this](int step) { step < 0 ? previous() : next(); });
}

int ChannelGuide::channelCount() const
{
    return m_model->rowCount();
}

QString ChannelGuide::listUrl() const
{
    return m_vendorSite + QStringLiteral("/zavo/list.txt");
}

QString ChannelGuide::stopPageUrl() const
{
    return m_vendorSite + QStringLiteral("/zavomsg.htm");
}

void ChannelGuide::listPageLoaded(bool ok)
{
    // An unreachable host or an error status never counts as a list, even
    // when the error page happens to hold a ";".
    if (!ok)
        return;
    const quint64 generation = m_listGeneration;
    m_listPage->readBodyText([this, generation](const QString &text) {
        if (generation != m_listGeneration)
            return;
        if (text.contains(u';'))
            loadList(text);
    });
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
    m_listPage->load(QUrl(QStringLiteral("about:blank")));
    emit listLoaded(count);
}

void ChannelGuide::refresh()
{
    // Emptying the model drops the selection with it.
    m_model->clear();
    // Bypass any cached copy: an update must show what the site holds now.
    QWebEngineHttpRequest request {QUrl(listUrl())};
    request.setHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache"));
    request.setHeader(QByteArrayLiteral("Pragma"), QByteArrayLiteral("no-cache"));
    m_listPage->load(request);
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

void ChannelGuide::stop()
{
    m_player->navigate(QUrl(stopPageUrl()));
}

void ChannelGuide::playSelection()
{
    // The list comes from the network: only web addresses reach the player.
    const QUrl url = WebUrl::fromText(m_model->entry(selectedChannel()).url);
    if (url.isEmpty())
        return;
    m_player->navigate(url);
}
