#pragma once

#include <QObject>
#include <QString>

class QGroupBox;
class QListWidget;
class QWidget;
class ListPage;
class PlayerView;

// The channel guide of the main window: downloads the vendor's channel list
// through the hidden list page, keeps the name list and the URL list
// index-parallel, and plays, steps through and stops channels.
class ChannelGuide : public QObject
{
    Q_OBJECT
public:
    struct Controls
    {
        QWidget *MainWindow = nullptr;
        QListWidget *channelList = nullptr;
        QListWidget *urlList = nullptr;
        QGroupBox *channelFrame = nullptr;
        ListPage *listPage = nullptr;
        PlayerView *player = nullptr;
    };

    ChannelGuide(const Controls &controls, const QString &vendorSite, QObject *parent);

    qint16 channelCount() const { return m_channelCount; }
    QString listUrl() const;
    QString stopPageUrl() const;

    // The list page finished a document; ok is false for a failed load.
    void listPageLoaded(bool ok);
    // Parses bodyText into the lists and reports the outcome in channelFrame.
    void loadList(const QString &bodyText);
    void refresh();

    void syncUrlSelection();
    void channelDoubleClicked();
    void playSelected();
    void next();
    void previous();
    void stop();

signals:
    // After every run of the loader, with the number of channels loaded.
    void listLoaded(int count);

private:
    // The selected row of the name list, -1 when none is selected.
    int selectedChannel() const;
    void playSelection();

    Controls m_c;
    QString m_vendorSite;
    qint16 m_channelCount = 0;
    // Bumped on every load the list page starts, so a body read for an
    // earlier document is never parsed after a newer one has begun.
    quint64 m_listGeneration = 0;
};
