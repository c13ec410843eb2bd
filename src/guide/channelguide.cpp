#include "channelguide.h"

#include "channellist.h"
#include "net/weburl.h"
#include "webview/playerview.h"
#include "webview/listpage.h"

#include <QGroupBox>
#include <QListWidget>
#include <QShortcut>
#include <QUrl>
#include <QWebEngineHttpRequest>

ChannelGuide::ChannelGuide(const Controls &controls, const QString &vendorSite, QObject *parent)
    : QObject(parent), m_c(controls), m_vendorSite(vendorSite)
{
    connect(m_c.listPage, &QWebEnginePage::loadStarted, this,
            [this] { ++m_listGeneration; });
    connect(m_c.listPage, &QWebEnginePage::loadFinished, this,
            &ChannelGuide::listPageLoaded);
    // The current channel is the selected one. Keyboard focus alone makes a
    // row current without selecting it, which must not count.
    connect(m_c.channelList, &QListWidget::itemSelectionChanged, this, &ChannelGuide::syncUrlSelection);
    connect(m_c.channelList, &QListWidget::itemDoubleClicked, this, &ChannelGuide::channelDoubleClicked);

    // Page Up and Page Down step through the channels whenever the channel
    // list is on screen, and from the fullscreen player too.
    auto *up = new QShortcut(QKeySequence(Qt::Key_PageUp), m_c.MainWindow);
    connect(up, &QShortcut::activated, this, [this] {
        if (m_c.channelList->isVisible())
            previous();
    });
    auto *down = new QShortcut(QKeySequence(Qt::Key_PageDown), m_c.MainWindow);
    connect(down, &QShortcut::activated, this, [this] {
        if (m_c.channelList->isVisible())
            next();
    });
    connect(m_c.player, &PlayerView::channelStepRequested, this,
            [this](int step) { step < 0 ? previous() : next(); });
    // Enter on a name plays it.
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *enter = new QShortcut(QKeySequence(key), m_c.channelList, nullptr, nullptr,
                                    Qt::WidgetShortcut);
        connect(enter, &QShortcut::activated, this, &ChannelGuide::playSelected);
    }
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
    m_c.listPage->readBodyText([this, generation](const QString &text) {
        if (generation != m_listGeneration)
            return;
        if (text.contains(u';'))
            loadList(text);
    });
}

void ChannelGuide::loadList(const QString &bodyText)
{
    const ChannelListParse parsed = ChannelList::parse(bodyText);
    QStringList names;
    QStringList urls;
    names.reserve(parsed.entries.size());
    urls.reserve(parsed.entries.size());
    for (const ChannelEntry &e : parsed.entries) {
        names.append(e.name);
        urls.append(e.url);
    }
    // Lists are only ever appended to; a refresh empties them first. The
    // count can never pass the limit because both stay within it together.
    const int room = ChannelList::MaxChannels - m_channelCount;
    if (names.size() > room) {
        names.resize(room);
        urls.resize(room);
    }
    m_c.channelList->setUpdatesEnabled(false);
    m_c.channelList->addItems(names);
    m_c.urlList->addItems(urls);
    m_c.channelList->setUpdatesEnabled(true);
    m_channelCount = qint16(m_channelCount + names.size());

    if (m_channelCount < 1)
        m_c.channelFrame->setTitle(QStringLiteral("电视节目表单更新失败"));
    else
        m_c.channelFrame->setTitle(QStringLiteral("电视节目表单 ") + QString::number(m_channelCount));
    m_c.listPage->Navigate(QUrl(QStringLiteral("about:blank")));
    m_c.MainWindow->show();
    emit listLoaded(m_channelCount);
}

void ChannelGuide::refresh()
{
    m_c.channelList->clear();
    m_c.urlList->clear();
    m_channelCount = 0;
    // Bypass any cached copy: an update must show what the site holds now.
    QWebEngineHttpRequest request{QUrl(listUrl())};
    request.setHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache"));
    request.setHeader(QByteArrayLiteral("Pragma"), QByteArrayLiteral("no-cache"));
    m_c.listPage->load(request);
}

int ChannelGuide::selectedChannel() const
{
    const QList<QListWidgetItem *> selected = m_c.channelList->selectedItems();
    return selected.isEmpty() ? -1 : m_c.channelList->row(selected.first());
}

void ChannelGuide::syncUrlSelection()
{
    m_c.urlList->setCurrentRow(selectedChannel());
}

void ChannelGuide::channelDoubleClicked()
{
    playSelected();
}

void ChannelGuide::playSelected()
{
    if (m_channelCount < 1)
        return;
    if (selectedChannel() < 0)
        m_c.channelList->setCurrentRow(0);
    playSelection();
}

void ChannelGuide::next()
{
    if (m_channelCount < 1)
        return;
    const int i = selectedChannel();
    m_c.channelList->setCurrentRow(i != m_channelCount - 1 ? i + 1 : 0);
    playSelection();
}

void ChannelGuide::previous()
{
    if (m_channelCount < 1)
        return;
    const int i = selectedChannel();
    // With nothing selected, step back to the last channel, the mirror of
    // Channel + picking the first.
    m_c.channelList->setCurrentRow(i > 0 ? i - 1 : m_channelCount - 1);
    playSelection();
}

void ChannelGuide::stop()
{
    m_c.player->Navigate(QUrl(stopPageUrl()));
}

void ChannelGuide::playSelection()
{
    QListWidgetItem *item = m_c.urlList->currentItem();
    // The list comes from the network: only web addresses reach the player.
    const QUrl url = WebUrl::fromText(item ? item->text() : QString());
    if (url.isEmpty())
        return;
    m_c.player->Navigate(url);
}
