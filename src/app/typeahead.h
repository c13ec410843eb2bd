#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>

class ChannelGuide;
class QAbstractItemView;
class QLabel;

// Letters and digits typed in the channel list select the channel whose
// name begins with them (ChannelGuide::selectTyped); label shows what has
// been typed. A pause without keys, Esc or a channel starting to play ends
// the typing; Backspace takes back the last key. Enter still plays.
class TypeAhead : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds DefaultPause {1000};

    TypeAhead(QAbstractItemView *list, QLabel *label, ChannelGuide *guide,
        std::chrono::milliseconds pause = DefaultPause);

    QString typed() const { return m_typed; }
    void clear();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setTyped(const QString &typed);

    QAbstractItemView *m_list;
    QLabel *m_label;
    ChannelGuide *m_guide;
    QTimer m_pause;
    QString m_typed;
};
