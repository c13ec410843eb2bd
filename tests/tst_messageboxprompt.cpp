// The real message box behind every question, end to end: what it shows and
// how each way of closing it answers. The only test with real boxes; every
// other one answers through the scripted user.

#include "prompt/messageboxprompt.h"
#include "testsupport.h"

#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

Q_DECLARE_METATYPE(Question::Buttons)
Q_DECLARE_METATYPE(Answer)

namespace {

QMessageBox *openBox()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
            return box;
    }
    return nullptr;
}

// Button texts as shown, in the box's order.
QStringList buttonTexts(QMessageBox *box)
{
    QStringList texts;
    if (auto *bb = box->findChild<QDialogButtonBox *>()) {
        for (QAbstractButton *b : bb->buttons())
            texts << b->text();
    }
    return texts;
}

} // namespace

class tst_MessageBoxPrompt : public QObject {
    Q_OBJECT
private slots:
    void answers_data();
    void answers();
    void contextGoneMeansNoAnswer();
};

void tst_MessageBoxPrompt::answers_data()
{
    QTest::addColumn<Question::Buttons>("buttons");
    QTest::addColumn<bool>("questionIcon");
    QTest::addColumn<QString>("press"); // "OK", "Cancel" or "Escape"
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<Answer>("answer");

    const auto Ok = Question::Buttons::Ok;
    const auto OkCancel = Question::Buttons::OkCancel;
    const QStringList one {"确定"};
    const QStringList two {"确定", "取消"};
    QTest::newRow("OK alone, OK") << Ok << false << "OK" << one << Answer::Ok;
    QTest::newRow("OK alone, Escape") << Ok << true << "Escape" << one << Answer::Ok;
    QTest::newRow("OK and Cancel, OK") << OkCancel << true << "OK" << two << Answer::Ok;
    QTest::newRow("OK and Cancel, Cancel")
        << OkCancel << false << "Cancel" << two << Answer::Cancel;
    QTest::newRow("OK and Cancel, Escape") << OkCancel << true << "Escape" << two << Answer::Cancel;
}

void tst_MessageBoxPrompt::answers()
{
    QFETCH(Question::Buttons, buttons);
    QFETCH(bool, questionIcon);
    QFETCH(QString, press);
    QFETCH(QStringList, shown);
    QFETCH(Answer, answer);

    QWidget parent;
    MessageBoxPrompt prompt(&parent);
    std::optional<Answer> got;
    QObject context;
    prompt.ask(
        {QStringLiteral("您确定要退出程序吗?"), QStringLiteral("退出提示"), buttons, questionIcon},
        &context, [&got](Answer a) { got = a; });
    // Asked, not waited for.
    QVERIFY(!got);
    QTRY_VERIFY(openBox());
    QMessageBox *box = openBox();
    QCOMPARE(box->text(), "您确定要退出程序吗?");
    QCOMPARE(box->windowTitle(), "退出提示");
    QCOMPARE(box->icon(), questionIcon ? QMessageBox::Question : QMessageBox::NoIcon);
    QCOMPARE(buttonTexts(box), shown);
    QCOMPARE(box->windowModality(), Qt::ApplicationModal);
    if (press == "Escape")
        QTest::keyClick(box, Qt::Key_Escape);
    else
        box->button(press == "OK" ? QMessageBox::Ok : QMessageBox::Cancel)->click();
    QTRY_VERIFY(got.has_value());
    QCOMPARE(*got, answer);
    // The box is gone, not merely hidden.
    QTRY_VERIFY(parent.findChildren<QMessageBox *>().isEmpty());
}

void tst_MessageBoxPrompt::contextGoneMeansNoAnswer()
{
    QWidget parent;
    MessageBoxPrompt prompt(&parent);
    bool answered = false;
    auto *context = new QObject;
    prompt.ask({QStringLiteral("问"), QStringLiteral("提示"), Question::Buttons::Ok, false},
        context, [&answered](Answer) { answered = true; });
    QTRY_VERIFY(openBox());
    delete context;
    openBox()->button(QMessageBox::Ok)->click();
    QTRY_VERIFY(parent.findChildren<QMessageBox *>().isEmpty());
    QVERIFY(!answered);
}

VIEWER_TEST_MAIN(tst_MessageBoxPrompt)
#include "tst_messageboxprompt.moc"
