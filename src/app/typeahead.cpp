#include "typeahead.h"

#include "guide/channelguide.h"
#include "guide/pinyin.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLabel>

TypeAhead::TypeAhead(
    QAbstractItemView *list, QLabel *label, ChannelGuide *guide, std::chrono::milliseconds pause)
    : QObject(list), m_list(list), m_label(label), m_guide(guide)
{
    m_pause.setSingleShot(true);
    m_pause.setInterval(pause);
    connect(&m_pause, &QTimer::timeout, this, &TypeAhead::clear);
    // Whatever starts a channel ends the typing that found it.
    connect(guide, &ChannelGuide::showRequested, this, &TypeAhead::clear);
    connect(guide, &ChannelGuide::playRefused, this, &TypeAhead::clear);
    m_label->hide();
    m_list->installEventFilter(this);
}

void TypeAhead::clear()
{
    setTyped(QString());
}

void TypeAhead::setTyped(const QString &typed)
{
    m_typed = typed;
    m_label->setText(typed);
    m_label->setVisible(!typed.isEmpty());
    if (typed.isEmpty())
        m_pause.stop();
    else
        m_pause.start();
}

bool TypeAhead::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_list || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    if (!m_typed.isEmpty() && key->key() == Qt::Key_Escape) {
        clear();
        return true;
    }
    if (!m_typed.isEmpty() && key->key() == Qt::Key_Backspace) {
        setTyped(m_typed.chopped(1));
        return true;
    }
    const QString text = key->text();
    if (text.size() != 1 || text.at(0).unicode() >= 0x80 || !text.at(0).isLetterOrNumber())
        return false;
    // Past the longest text a name is matched by, keys change nothing.
    if (m_typed.size() < Pinyin::MaxTyped) {
        const bool afresh = m_typed.isEmpty();
        m_typed += text.toLower();
        m_guide->selectTyped(m_typed, afresh);
    }
    setTyped(m_typed);
    return true;
}
