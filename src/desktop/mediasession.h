#pragma once

#include <QObject>
#include <QString>

#include <optional>

class QAbstractItemModel;

// What the viewer is doing, as the desktop's media controls and its screen
// saver see it.
struct PlaybackState {
    // A channel plays: from its request until 停止, its end (无法播放此频道)
    // or the next request.
    bool playing = false;
    // The playing channel's name and its row in the list.
    QString title;
    int row = -1;
    int channelCount = 0;
    // Shown, neither minimised nor in the tray.
    bool windowOnScreen = false;
};

// What a media control asks for: an MPRIS call or a media key.
enum class MediaRequest { Play, PlayPause, Pause, Stop, Next, Previous };

// What the channel guide is asked to do for it.
enum class GuideCommand { None, PlaySelected, Stop, Next, Previous };

namespace MediaRules {

GuideCommand commandFor(MediaRequest request, const PlaybackState &state);
bool canPlay(const PlaybackState &state);
bool canGoNext(const PlaybackState &state);
bool canGoPrevious(const PlaybackState &state);
// Live television cannot be paused; PlayPause stops it instead.
constexpr bool CanPause = false;
// The screen stays awake only while a channel plays where it can be seen.
bool keepScreenAwake(const PlaybackState &state);
// The request a key of the keyboard's media keys makes (a Qt::Key).
std::optional<MediaRequest> requestForKey(int key);

} // namespace MediaRules

// The playback state, kept from what the guide, the player and the window
// report. Requests of the desktop's controls go out as the guide's commands.
class MediaSession : public QObject {
    Q_OBJECT
public:
    explicit MediaSession(QObject *parent = nullptr);

    const PlaybackState &state() const { return m_state; }
    // Counts the channels of the list channels shows.
    void followChannels(const QAbstractItemModel *channels);

    // The channel at row, named title, is asked for; row -1: the idle page.
    void setChannel(int row, const QString &title);
    // The channel on screen has ended.
    void channelEnded();
    void setWindowOnScreen(bool on);
    void setChannelCount(int count);

    void request(MediaRequest request);

signals:
    void stateChanged(const PlaybackState &state);
    void keepScreenAwakeChanged(bool keep);
    void playSelectedRequested();
    void stopRequested();
    void nextRequested();
    void previousRequested();

private:
    void change(const PlaybackState &next);

    PlaybackState m_state;
};
