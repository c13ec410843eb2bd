#include "msgbox.h"

#include <QMessageBox>
#include <QPushButton>

namespace MsgBox {

static bool s_ending = false;

void setProgramEnding()
{
    s_ending = true;
}

bool programEnding()
{
    return s_ending;
}

int show(QWidget *parent, const QString &text, int flags, const QString &title)
{
    if (s_ending)
        return Cancel;

    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    box.setIcon((flags & Question) ? QMessageBox::Question : QMessageBox::NoIcon);
    box.setTextFormat(Qt::PlainText);
    if (flags & OkCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
    }
    const int answer = box.exec();
    return answer == QMessageBox::Ok ? Ok : Cancel;
}

} // namespace MsgBox
