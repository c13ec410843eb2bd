#pragma once

// Answers the real modal message boxes that the code under test opens, and
// records what each box showed. Boxes are answered in the order they appear.

#include <QApplication>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons; // button texts as shown, in box order
    bool parentVisible = false;
};

class ModalDriver : public QObject {
public:
    explicit ModalDriver(QObject *parent = nullptr) : QObject(parent)
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }

    // Answers for the next boxes, in order; QMessageBox::Ok, Cancel or Escape
    // (Escape is sent as a key press). When the queue is empty, boxes are
    // answered with defaultAnswer.
    void queue(int answer) { m_answers.append(answer); }
    int defaultAnswer = QMessageBox::Ok;
    enum { Escape = 0x7fffffff };

    const QList<SeenBox> &seen() const { return m_seen; }
    void clear() { m_seen.clear(); }
    // When false the boxes stay open (a test inspects them first).
    bool answering = true;

    static QMessageBox *openBox()
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
                return box;
        }
        return nullptr;
    }

private:
    void poll()
    {
        if (!answering)
            return;
        QMessageBox *box = openBox();
        if (!box || box == m_last)
            return;
        m_last = box;
        SeenBox s;
        s.title = box->windowTitle();
        s.text = box->text();
        s.icon = box->icon();
        s.parentVisible = box->parentWidget() && box->parentWidget()->isVisible();
        if (auto *bb = box->findChild<QDialogButtonBox *>()) {
            for (QAbstractButton *b : bb->buttons())
                s.buttons << b->text();
        }
        m_seen.append(s);
        const int answer = m_answers.isEmpty() ? defaultAnswer : m_answers.takeFirst();
        QPointer<QMessageBox> guard(box);
        QTimer::singleShot(0, box, [guard, answer] {
            if (!guard)
                return;
            if (answer == Escape) {
                QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(guard, &esc);
                return;
            }
            if (QAbstractButton *b = guard->button(QMessageBox::StandardButton(answer)))
                b->click();
        });
    }

    QTimer m_timer;
    QList<int> m_answers;
    QList<SeenBox> m_seen;
    QPointer<QMessageBox> m_last;
};
