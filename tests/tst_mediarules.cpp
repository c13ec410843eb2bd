// What the desktop's media controls and the media keys do, and what they are
// shown, from the guide's state, without a display or a bus.

#include "desktop/mediasession.h"
#include "desktop/mprisplayer.h"

#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(GuideCommand)

class tst_MediaRules : public QObject {
    Q_OBJECT
private slots:
    void requests_data();
    void requests();
    void shown_data();
    void shown();
};

static const QMap<QString, MediaRequest> Calls {{"Play", MediaRequest::Play},
    {"PlayPause", MediaRequest::PlayPause}, {"Pause", MediaRequest::Pause},
    {"Stop", MediaRequest::Stop}, {"Next", MediaRequest::Next},
    {"Previous", MediaRequest::Previous}};

void tst_MediaRules::requests_data()
{
    QTest::addColumn<QString>("control"); // an MPRIS call, or a Qt key
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("playing");
    QTest::addColumn<int>("channels");
    QTest::addColumn<GuideCommand>("command");

    using G = GuideCommand;
    QTest::newRow("Play when stopped plays the selected")
        << "Play" << 0 << false << 3 << G::PlaySelected;
    QTest::newRow("Play while playing") << "Play" << 0 << true << 3 << G::None;
    QTest::newRow("Play, empty list") << "Play" << 0 << false << 0 << G::None;
    QTest::newRow("PlayPause when stopped plays")
        << "PlayPause" << 0 << false << 3 << G::PlaySelected;
    QTest::newRow("PlayPause while playing stops") << "PlayPause" << 0 << true << 3 << G::Stop;
    QTest::newRow("PlayPause while playing, list emptied")
        << "PlayPause" << 0 << true << 0 << G::Stop;
    QTest::newRow("PlayPause, empty list") << "PlayPause" << 0 << false << 0 << G::None;
    QTest::newRow("Pause: live television has none") << "Pause" << 0 << true << 3 << G::None;
    QTest::newRow("Stop while playing") << "Stop" << 0 << true << 3 << G::Stop;
    QTest::newRow("Stop after an end: the idle page") << "Stop" << 0 << false << 3 << G::Stop;
    QTest::newRow("Next is Channel +") << "Next" << 0 << true << 3 << G::Next;
    QTest::newRow("Next when stopped") << "Next" << 0 << false << 3 << G::Next;
    QTest::newRow("Next, empty list") << "Next" << 0 << false << 0 << G::None;
    QTest::newRow("Previous is Channel -") << "Previous" << 0 << true << 1 << G::Previous;
    QTest::newRow("Previous, empty list") << "Previous" << 0 << true << 0 << G::None;
    // The keyboard's keys, as Qt names the X keys XF86AudioPlay and so on.
    QTest::newRow("play key while playing stops")
        << "" << int(Qt::Key_MediaPlay) << true << 3 << G::Stop;
    QTest::newRow("play key when stopped plays")
        << "" << int(Qt::Key_MediaPlay) << false << 3 << G::PlaySelected;
    QTest::newRow("play/pause key")
        << "" << int(Qt::Key_MediaTogglePlayPause) << true << 3 << G::Stop;
    QTest::newRow("pause key") << "" << int(Qt::Key_MediaPause) << true << 3 << G::None;
    QTest::newRow("stop key") << "" << int(Qt::Key_MediaStop) << true << 3 << G::Stop;
    QTest::newRow("next key") << "" << int(Qt::Key_MediaNext) << false << 3 << G::Next;
    QTest::newRow("previous key") << "" << int(Qt::Key_MediaPrevious) << true << 3 << G::Previous;
    QTest::newRow("volume key is the desktop's")
        << "" << int(Qt::Key_VolumeUp) << true << 3 << G::None;
}

void tst_MediaRules::requests()
{
    QFETCH(QString, control);
    QFETCH(int, key);
    QFETCH(bool, playing);
    QFETCH(int, channels);
    QFETCH(GuideCommand, command);

    PlaybackState state;
    state.playing = playing;
    state.row = playing ? 0 : -1;
    state.channelCount = channels;
    const std::optional<MediaRequest> request
        = control.isEmpty() ? MediaRules::requestForKey(key) : Calls.value(control);
    QCOMPARE(request ? MediaRules::commandFor(*request, state) : GuideCommand::None, command);
}

void tst_MediaRules::shown_data()
{
    QTest::addColumn<bool>("playing");
    QTest::addColumn<int>("channels");
    QTest::addColumn<bool>("onScreen");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("title"); // xesam:title; none when empty
    QTest::addColumn<bool>("canStep"); // CanPlay, CanGoNext and CanGoPrevious
    QTest::addColumn<bool>("awake");

    QTest::newRow("playing in the window") << true << 5 << true << "Playing"
                                           << "频道" << true << true;
    QTest::newRow("playing in the tray") << true << 5 << false << "Playing"
                                         << "频道" << true << false;
    QTest::newRow("stopped") << false << 5 << true << "Stopped"
                             << "" << true << false;
    QTest::newRow("stopped, minimised") << false << 5 << false << "Stopped"
                                        << "" << true << false;
    QTest::newRow("before the list") << false << 0 << true << "Stopped"
                                     << "" << false << false;
    QTest::newRow("playing while the list is fetched again") << true << 0 << true << "Playing"
                                                             << "频道" << false << true;
}

void tst_MediaRules::shown()
{
    QFETCH(bool, playing);
    QFETCH(int, channels);
    QFETCH(bool, onScreen);
    QFETCH(QString, status);
    QFETCH(QString, title);
    QFETCH(bool, canStep);
    QFETCH(bool, awake);

    MediaSession session;
    QSignalSpy awakeChanges(&session, &MediaSession::keepScreenAwakeChanged);
    session.setWindowOnScreen(onScreen);
    session.setChannelCount(channels);
    session.setChannel(playing ? 2 : -1, QStringLiteral("频道"));
    const QVariantMap shown = MprisPlayer::playerProperties(session.state());
    QCOMPARE(shown.value("PlaybackStatus").toString(), status);
    const QVariantMap metadata = shown.value("Metadata").toMap();
    QCOMPARE(metadata.value("xesam:title").toString(), title);
    QVERIFY(metadata.contains("mpris:trackid"));
    QCOMPARE(shown.value("CanPlay").toBool(), canStep);
    QCOMPARE(shown.value("CanGoNext").toBool(), canStep);
    QCOMPARE(shown.value("CanGoPrevious").toBool(), canStep);
    QCOMPARE(MediaRules::keepScreenAwake(session.state()), awake);
    // Told once, when it changed.
    QCOMPARE(awakeChanges.size(), awake ? 1 : 0);
    session.channelEnded();
    QVERIFY(!MediaRules::keepScreenAwake(session.state()));
    QCOMPARE(awakeChanges.size(), awake ? 2 : 0);
}

QTEST_GUILESS_MAIN(tst_MediaRules)
#include "tst_mediarules.moc"
