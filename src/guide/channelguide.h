#pragma once

#include "net/channeladdress.h"
#include "net/vendorsite.h"

#include <QObject>
#include <QString>
#include <QUrl>

class QItemSelectionModel;
class ChannelModel;

// The channel guide: the channels of the vendor's list in a model, the
// current one as the selected row of its selection model (which the channel
// list view shows), and stepping through them. It says what to show by
// address; the player shows it.
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

    void playSelected();
    void next();
    void previous();
    // Back to the vendor's page for an idle player.
    void stop();
    // Page Up (negative) or Page Down (positive).
    void step(int direction);
    // Selects, without playing it, the first channel whose name begins with
    // typed (Pinyin::nameStartsWith), from the selected row on and round
    // past the end; from the row after it when the typing starts afresh.
    // False, the selection left as it is, when no name does.
    bool selectTyped(QStringView typed, bool afresh);

signals:
    // The address the player is to show (a channel, or the stop page), with
    // the request headers the channel's server wants.
    void showRequested(const QUrl &url, const RequestHeaders &headers);
    // The selected channel's address is none the player may load; reason
    // says why, in the viewer's words.
    void playRefused(const QString &reason);
    // The channel the player is about to be asked for, by row and name; row
    // -1 and no name when it is asked for the page of an idle player.
    void nowPlaying(int row, const QString &name);
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

    VendorSite m_site;
    ChannelModel *m_model;
    QItemSelectionModel *m_selection;
};
