#pragma once

#include <QObject>
#include <QString>

class QItemSelectionModel;
class ChannelModel;
class ListPage;
class PlayerView;

// The channel guide: downloads the vendor's channel list through the hidden
// list page into its model, and plays, steps through and stops channels in
// the player. The current channel is the selected row of its selection
// model, which the channel list view shows.
class ChannelGuide : public QObject {
    Q_OBJECT
public:
    ChannelGuide(ListPage *listPage, PlayerView *player, const QString &vendorSite,
        QObject *parent = nullptr);

    ChannelModel *model() const { return m_model; }
    QItemSelectionModel *selectionModel() const { return m_selection; }
    int channelCount() const;
    QString listUrl() const;
    QString stopPageUrl() const;

    // Parses bodyText into the model and reports the outcome.
    void loadList(const QString &bodyText);
    // Empties the model at once and downloads the list again.
    void refresh();

    void playSelected();
    void next();
    void previous();
    void stop();

signals:
    // The list frame's new caption, after every run of the loader.
    void captionChanged(const QString &caption);
    // After every run of the loader, with the number of channels now held;
    // the window shows itself on it.
    void listLoaded(int count);

private:
    // The list page finished a document; ok is false for a failed load.
    void listPageLoaded(bool ok);
    // The selected row, -1 when none is selected.
    int selectedChannel() const;
    void select(int row);
    void playSelection();

    ListPage *m_listPage;
    PlayerView *m_player;
    QString m_vendorSite;
    ChannelModel *m_model;
    QItemSelectionModel *m_selection;
    // Bumped on every load the list page starts, so a body read for an
    // earlier document is never parsed after a newer one has begun.
    quint64 m_listGeneration = 0;
};
