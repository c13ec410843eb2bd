#include "messageboxprompt.h"

#include <QMessageBox>
#include <QPushButton>

void MessageBoxPrompt::ask(
    const Question &question, QObject *context, std::function<void(Answer)> answered)
{
    auto *box = new QMessageBox(m_parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->setWindowTitle(question.title);
    box->setText(question.text);
    box->setTextFormat(Qt::PlainText);
    box->setIcon(question.questionIcon ? QMessageBox::Question : QMessageBox::NoIcon);
    if (question.buttons == Question::Buttons::OkCancel) {
        box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box->setDefaultButton(QMessageBox::Ok);
        box->setEscapeButton(QMessageBox::Cancel);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
        box->setEscapeButton(QMessageBox::Ok);
    }
    QObject::connect(
        box, &QMessageBox::finished, context, [answered = std::move(answered)](int result) {
            answered(result == QMessageBox::Ok ? Answer::Ok : Answer::Cancel);
        });
    box->show();
}
