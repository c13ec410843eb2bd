#include "mediasession.h"

#include <QAbstractItemModel>

namespace MediaRules {

GuideCommand commandFor(MediaRequest request, const PlaybackState &state)
{
    const bool channels = state.channelCount > 0;
    switch (request) {
    case MediaRequest::Play:
        return channels && !state.playing ? GuideCommand::PlaySelected : GuideCommand::None;
    case MediaRequest::PlayPause:
        if (state.playing)
            return GuideCommand::Stop;
        return channels ? GuideCommand::PlaySelected : GuideCommand::None;
    case MediaRequest::Pause:
        return GuideCommand::None;
    case MediaRequest::Stop:
        return GuideCommand::Stop;
    case MediaRequest::Next:
        return channels ? GuideCommand::Next : GuideCommand::None;
    case MediaRequest::Previous:
        return channels ? GuideCommand::Previous : GuideCommand::None;
    }
    return GuideCommand::None;
}

bool canPlay(const PlaybackState &state)
{
    return state.channelCount > 0;
}

bool canGoNext(const PlaybackState &state)
{
    return state.channelCount > 0;
}

bool canGoPrevious(const PlaybackState &state)
{
    return state.channelCount > 0;
}

bool keepScreenAwake(const PlaybackState &state)
{
    return state.playing && state.windowOnScreen;
}

std::optional<MediaRequest> requestForKey(int key)
{
    switch (key) {
    // A keyboard's one play key toggles, as desktops read it.
    case Qt::Key_MediaPlay:
    case Qt::Key_MediaTogglePlayPause:
        return MediaRequest::PlayPause;
    case Qt::Key_MediaPause:
        return MediaRequest::Pause;
    case Qt::Key_MediaStop:
        return MediaRequest::Stop;
    case Qt::Key_MediaNext:
        return MediaRequest::Next;
    case Qt::Key_MediaPrevious:
        return MediaRequest::Previous;
    default:
        return std::nullopt;
    }
}

} // namespace MediaRules

MediaSession::MediaSession(QObject *parent) : QObject(parent)
{
}

void MediaSession::followChannels(const QAbstractItemModel *channels)
{
    const auto count = [this, channels] { setChannelCount(channels->rowCount()); };
    connect(channels, &QAbstractItemModel::rowsInserted, this, count);
    connect(channels, &QAbstractItemModel::rowsRemoved, this, count);
    connect(channels, &QAbstractItemModel::modelReset, this, count);
    count();
}

void MediaSession::setChannel(int row, const QString &title)
{
    PlaybackState next = m_state;
    next.playing = row >= 0;
    next.row = row;
    next.title = row >= 0 ? title : QString();
    change(next);
}

void MediaSession::channelEnded()
{
    setChannel(-1, QString());
}

void MediaSession::setWindowOnScreen(bool on)
{
    PlaybackState next = m_state;
    next.windowOnScreen = on;
    change(next);
}

void MediaSession::setChannelCount(int count)
{
    PlaybackState next = m_state;
    next.channelCount = count;
    change(next);
}

void MediaSession::request(MediaRequest request)
{
    switch (MediaRules::commandFor(request, m_state)) {
    case GuideCommand::None:
        return;
    case GuideCommand::PlaySelected:
        emit playSelectedRequested();
        return;
    case GuideCommand::Stop:
        emit stopRequested();
        return;
    case GuideCommand::Next:
        emit nextRequested();
        return;
    case GuideCommand::Previous:
        emit previousRequested();
        return;
    }
}

void MediaSession::change(const PlaybackState &next)
{
    const bool wasAwake = MediaRules::keepScreenAwake(m_state);
    const bool same = next.playing == m_state.playing && next.title == m_state.title
        && next.row == m_state.row && next.channelCount == m_state.channelCount
        && next.windowOnScreen == m_state.windowOnScreen;
    m_state = next;
    if (same)
        return;
    emit stateChanged(m_state);
    if (MediaRules::keepScreenAwake(m_state) != wasAwake)
        emit keepScreenAwakeChanged(!wasAwake);
}
