#pragma once

#include "net/channeladdress.h"
#include "net/vendorsite.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>

class QItemSelectionModel;
class QTimer;
class ChannelModel;

// The channel guide: the channels of the vendor's list in a model, the
// current one as the selected row of its selection model (which the channel
// list view shows), and stepping through them. It says what to show by
// address; the player shows it. A channel that stands in the list several
// times (ChannelNames::sameChannel) has as many sources: when the one shown
// fails, the next is tried, each once per request.
class ChannelGuide : public QObject {
    Q_OBJECT
public:
    explicit ChannelGuide(const VendorSite &site, QObject *parent = nullptr);

    ChannelModel *model() const { return m_model; }
    QItemSelectionModel *selectionModel() const { return m_selection; }
    int channelCount() const;

    // Parses the list page's body text into the model and reports the outcome.
    void loadList(const QString &bodyText);
    // Empties the model, and the selection with it, before the list is
    // downloaded again.
    void clear();

    // Each of these is a request: it plays the selected (or stepped to) row
    // and starts over the search through its channel's sources.
    void playSelected();
    void next();
    void previous();
    // Back to the vendor's page for an idle player; ends any search.
    void stop();
    // Page Up (negative) or Page Down (positive).
    void step(int direction);

    // What the player says of the source it shows. A failed source gives
    // way to the channel's next untried row, which becomes the selection; a
    // source that dropped does so once it has been away for the drop limit.
    void sourcePlaying();
    void sourceDropped();
    void sourceFailed();
    void setDropLimit(std::chrono::milliseconds limit);
    // Selects, without playing it, the first channel whose name begins with
    // typed (Pinyin::nameStartsWith), from the selected row on and round
    // past the end; from the row after it when the typing starts afresh.
    // False, the selection left as it is, when no name does.
    bool selectTyped(QStringView typed, bool afresh);

signals:
    // The address the player is to show (a channel, or the stop page), with
    // the request headers the channel's server wants; source says which of
    // the channel's rows it is ("线路 2/3"), empty when it has one.
    void showRequested(const QUrl &url, const RequestHeaders &headers, const QString &source);
    // The selected channel's address is none the player may load; reason
    // says why, in the viewer's words.
    void playRefused(const QString &reason);
    // The channel the player is about to be asked for, by row and name; row
    // -1 and no name when it is asked for the page of an idle player.
    void nowPlaying(int row, const QString &name);
    // Every source of the channel asked for has failed, or none may be
    // opened: the player says 无法播放此频道 and nothing more is asked.
    void channelEnded();
    // The list frame's new caption, after every run of the loader.
    void captionChanged(const QString &caption);
    // After every run of the loader, with the number of channels now held;
    // the window shows itself on it.
    void listLoaded(int count);

private:
    // The selected row, -1 when none is selected.
    int selectedChannel() const;
    void select(int row);
    void playSelection();
    // Plays the search's sources from the at-th on, passing over those the
    // player may not open.
    void playSource(int at);
    void endSearch();
    const QStringList &keys();

    VendorSite m_site;
    ChannelModel *m_model;
    QItemSelectionModel *m_selection;
    QTimer *m_dropTimer;
    // ChannelNames::key of every row, made when first needed.
    QStringList m_keys;
    // The rows of this request's channel in the order they are tried, and
    // the place in it of the one shown.
    QList<int> m_search;
    int m_searchAt = -1;
};
