// What the desktop's media controls and the media keys do, and what they are
// shown, from the guide's state, without a display or a bus.

#include "desktop/mediasession.h"
#include "desktop/mprisplayer.h"

#include <QSignalSpy>
#include <QTest>

class tst_MediaRules : public QObject {
    Q_OBJECT
private slots:
    void rules_data();
    void rules();
};

void tst_MediaRules::rules_data()
{
    QTest::addColumn<bool>("playing");
    QTest::addColumn<int>("channels");
    QTest::addColumn<bool>("onScreen");
    // The guide's command for Play, PlayPause, Pause, Stop, Next and Previous:
    // P play the selected, S stop, N next, V previous, - nothing.
    QTest::addColumn<QString>("commands");
    QTest::addColumn<bool>("canStep"); // CanPlay, CanGoNext and CanGoPrevious
    QTest::addColumn<bool>("awake");

    QTest::newRow("stopped") << false << 5 << true << "PP-SNV" << true << false;
    QTest::newRow("stopped, minimised") << false << 5 << false << "PP-SNV" << true << false;
    QTest::newRow("playing") << true << 5 << true << "-S-SNV" << true << true;
    QTest::newRow("playing in the tray") << true << 5 << false << "-S-SNV" << true << false;
    QTest::newRow("before the list") << false << 0 << true << "---S--" << false << false;
    QTest::newRow("playing, list fetched again") << true << 0 << true << "-S-S--" << false << true;
}

void tst_MediaRules::rules()
{
    QFETCH(bool, playing);
    QFETCH(int, channels);
    QFETCH(bool, onScreen);
    QFETCH(QString, commands);
    QFETCH(bool, canStep);
    QFETCH(bool, awake);

    MediaSession session;
    QSignalSpy awakeChanges(&session, &MediaSession::keepScreenAwakeChanged);
    session.setWindowOnScreen(onScreen);
    session.setChannelCount(channels);
    session.setChannel(playing ? 2 : -1, QStringLiteral("频道"));
    const QMap<GuideCommand, QChar> letters {{GuideCommand::None, '-'},
        {GuideCommand::PlaySelected, 'P'}, {GuideCommand::Stop, 'S'}, {GuideCommand::Next, 'N'},
        {GuideCommand::Previous, 'V'}};
    QString seen;
    for (const MediaRequest r : {MediaRequest::Play, MediaRequest::PlayPause, MediaRequest::Pause,
             MediaRequest::Stop, MediaRequest::Next, MediaRequest::Previous})
        seen += letters.value(MediaRules::commandFor(r, session.state()));
    QCOMPARE(seen, commands);
    // The keyboard's play key toggles; the others are the calls of their names.
    seen.clear();
    for (const int key : {Qt::Key_MediaPlay, Qt::Key_MediaTogglePlayPause, Qt::Key_MediaPause,
             Qt::Key_MediaStop, Qt::Key_MediaNext, Qt::Key_MediaPrevious})
        seen += letters.value(
            MediaRules::commandFor(*MediaRules::requestForKey(key), session.state()));
    QCOMPARE(seen, QString(commands).replace(0, 1, commands[1]));
    QVERIFY(!MediaRules::requestForKey(Qt::Key_VolumeUp));

    const QVariantMap shown = MprisPlayer::playerProperties(session.state());
    QCOMPARE(shown.value("PlaybackStatus").toString(), playing ? "Playing" : "Stopped");
    const QVariantMap metadata = shown.value("Metadata").toMap();
    QCOMPARE(metadata.value("xesam:title").toString(), playing ? "频道" : "");
    QVERIFY(metadata.contains("mpris:trackid"));
    for (const char *can : {"CanPlay", "CanGoNext", "CanGoPrevious"})
        QCOMPARE(shown.value(can).toBool(), canStep);
    // Told once when it changed, and again when the channel ends.
    QCOMPARE(awakeChanges.size(), awake ? 1 : 0);
    session.channelEnded();
    QVERIFY(!MediaRules::keepScreenAwake(session.state()));
    QCOMPARE(awakeChanges.size(), awake ? 2 : 0);
}

QTEST_GUILESS_MAIN(tst_MediaRules)
#include "tst_mediarules.moc"
