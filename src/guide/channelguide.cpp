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
    connect(m_c.WebBrowsertvlist, &QWebEnginePage::loadStarted, this,
            [this] { ++m_listGeneration; });
    connect(m_c.WebBrowsertvlist, &QWebEnginePage::loadFinished, this,
            &ChannelGuide::WebBrowsertvlist_DocumentComplete);
    // The current channel is the selected one. Keyboard focus alone makes a
    // row current without selecting it, which must not count.
    connect(m_c.lsttv, &QListWidget::itemSelectionChanged, this, &ChannelGuide::lsttv_Click);
    connect(m_c.lsttv, &QListWidget::itemDoubleClicked, this, &ChannelGuide::lsttv_DblClick);

    // Page Up and Page Down step through the channels whenever the channel
    // list is on screen, and from the fullscreen player too.
    auto *up = new QShortcut(QKeySequence(Qt::Key_PageUp), m_c.frmhome);
    connect(up, &QShortcut::activated, this, [this] {
        if (m_c.lsttv->isVisible())
            cmdDown_Click();
    });
    auto *down = new QShortcut(QKeySequence(Qt::Key_PageDown), m_c.frmhome);
    connect(down, &QShortcut::activated, this, [this] {
        if (m_c.lsttv->isVisible())
            cmdUp_Click();
    });
    connect(m_c.WebBrowsertv, &PlayerView::channelStepRequested, this,
            [this](int step) { step < 0 ? cmdDown_Click() : cmdUp_Click(); });
    // Enter on a name plays it.
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *enter = new QShortcut(QKeySequence(key), m_c.lsttv, nullptr, nullptr,
                                    Qt::WidgetShortcut);
        connect(enter, &QShortcut::activated, this, &ChannelGuide::cmdopen_Click);
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

void ChannelGuide::WebBrowsertvlist_DocumentComplete(bool ok)
{
    // An unreachable host or an error status never counts as a list, even
    // when the error page happens to hold a ";".
    if (!ok)
        return;
    const quint64 generation = m_listGeneration;
    m_c.WebBrowsertvlist->readBodyText([this, generation](const QString &text) {
        if (generation != m_listGeneration)
            return;
        if (text.contains(u';'))
            LoadTvList(text);
    });
}

void ChannelGuide::LoadTvList(const QString &bodyText)
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
    m_c.lsttv->setUpdatesEnabled(false);
    m_c.lsttv->addItems(names);
    m_c.lsttvurl->addItems(urls);
    m_c.lsttv->setUpdatesEnabled(true);
    m_channelCount = qint16(m_channelCount + names.size());

    if (m_channelCount < 1)
        m_c.Frame2->setTitle(QStringLiteral("电视节目表单更新失败"));
    else
        m_c.Frame2->setTitle(QStringLiteral("电视节目表单 ") + QString::number(m_channelCount));
    m_c.WebBrowsertvlist->Navigate(QUrl(QStringLiteral("about:blank")));
    m_c.frmhome->show();
    emit listLoaded(m_channelCount);
}

void ChannelGuide::M_list_Click()
{
    m_c.lsttv->clear();
    m_c.lsttvurl->clear();
    m_channelCount = 0;
    // Bypass any cached copy: an update must show what the site holds now.
    QWebEngineHttpRequest request{QUrl(listUrl())};
    request.setHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache"));
    request.setHeader(QByteArrayLiteral("Pragma"), QByteArrayLiteral("no-cache"));
    m_c.WebBrowsertvlist->load(request);
}

int ChannelGuide::selectedChannel() const
{
    const QList<QListWidgetItem *> selected = m_c.lsttv->selectedItems();
    return selected.isEmpty() ? -1 : m_c.lsttv->row(selected.first());
}

void ChannelGuide::lsttv_Click()
{
    m_c.lsttvurl->setCurrentRow(selectedChannel());
}

void ChannelGuide::lsttv_DblClick()
{
    cmdopen_Click();
}

void ChannelGuide::cmdopen_Click()
{
    if (m_channelCount < 1)
        return;
    if (selectedChannel() < 0)
        m_c.lsttv->setCurrentRow(0);
    playSelection();
}

void ChannelGuide::cmdUp_Click()
{
    if (m_channelCount < 1)
        return;
    const int i = selectedChannel();
    m_c.lsttv->setCurrentRow(i != m_channelCount - 1 ? i + 1 : 0);
    playSelection();
}

void ChannelGuide::cmdDown_Click()
{
    if (m_channelCount < 1)
        return;
    const int i = selectedChannel();
    // With nothing selected, step back to the last channel, the mirror of
    // Channel + picking the first.
    m_c.lsttv->setCurrentRow(i > 0 ? i - 1 : m_channelCount - 1);
    playSelection();
}

void ChannelGuide::cmdstop_Click()
{
    m_c.WebBrowsertv->Navigate(QUrl(stopPageUrl()));
}

void ChannelGuide::playSelection()
{
    QListWidgetItem *item = m_c.lsttvurl->currentItem();
    // The list comes from the network: only web addresses reach the player.
    const QUrl url = WebUrl::fromText(item ? item->text() : QString());
    if (url.isEmpty())
        return;
    m_c.WebBrowsertv->Navigate(url);
}
