// The real message box behind every question, end to end: what it shows and
// how each way of closing it answers.

#include "modaldriver.h"
#include "prompt/messageboxprompt.h"
#include "testsupport.h"

#include <QtTest>

Q_DECLARE_METATYPE(Question::Buttons)
Q_DECLARE_METATYPE(Answer)

class tst_MessageBoxPrompt : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void answers_data();
    void answers();
    void contextGoneMeansNoAnswer();
};

void tst_MessageBoxPrompt::initTestCase()
{
    installChineseTranslations();
}

void tst_MessageBoxPrompt::answers_data()
{
    QTest::addColumn<Question::Buttons>("buttons");
    QTest::addColumn<bool>("questionIcon");
    QTest::addColumn<int>("press"); // a standard button, or ModalDriver::Escape
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<Answer>("answer");

    const auto Ok = Question::Buttons::Ok;
    const auto OkCancel = Question::Buttons::OkCancel;
    const QStringList one {"确定"};
    const QStringList two {"确定", "取消"};
    QTest::newRow("OK alone, OK") << Ok << false << int(QMessageBox::Ok) << one << Answer::Ok;
    QTest::newRow("OK alone, Escape")
        << Ok << true << int(ModalDriver::Escape) << one << Answer::Ok;
    QTest::newRow("OK and Cancel, OK")
        << OkCancel << true << int(QMessageBox::Ok) << two << Answer::Ok;
    QTest::newRow("OK and Cancel, Cancel")
        << OkCancel << false << int(QMessageBox::Cancel) << two << Answer::Cancel;
    QTest::newRow("OK and Cancel, Escape")
        << OkCancel << true << int(ModalDriver::Escape) << two << Answer::Cancel;
}

void tst_MessageBoxPrompt::answers()
{
    QFETCH(Question::Buttons, buttons);
    QFETCH(bool, questionIcon);
    QFETCH(int, press);
    QFETCH(QStringList, shown);
    QFETCH(Answer, answer);

    QWidget parent;
    MessageBoxPrompt prompt(&parent);
    ModalDriver driver;
    driver.queue(press);
    std::optional<Answer> got;
    QObject context;
    prompt.ask(
        {QStringLiteral("您确定要退出程序吗?"), QStringLiteral("退出提示"), buttons, questionIcon},
        &context, [&got](Answer a) { got = a; });
    // Asked, not waited for.
    QVERIFY(!got);
    QTRY_VERIFY(got.has_value());
    QCOMPARE(*got, answer);
    QCOMPARE(driver.seen().size(), 1);
    const SeenBox box = driver.seen().first();
    QCOMPARE(box.text, "您确定要退出程序吗?");
    QCOMPARE(box.title, "退出提示");
    QCOMPARE(box.icon, questionIcon ? QMessageBox::Question : QMessageBox::NoIcon);
    QCOMPARE(box.buttons, shown);
    // The box is gone, not merely hidden.
    QTRY_VERIFY(parent.findChildren<QMessageBox *>().isEmpty());
}

void tst_MessageBoxPrompt::contextGoneMeansNoAnswer()
{
    QWidget parent;
    MessageBoxPrompt prompt(&parent);
    ModalDriver driver;
    driver.answering = false;
    bool answered = false;
    auto *context = new QObject;
    prompt.ask({QStringLiteral("问"), QStringLiteral("提示"), Question::Buttons::Ok, false},
        context, [&answered](Answer) { answered = true; });
    QTRY_VERIFY(ModalDriver::openBox());
    QCOMPARE(ModalDriver::openBox()->windowModality(), Qt::ApplicationModal);
    delete context;
    ModalDriver::openBox()->button(QMessageBox::Ok)->click();
    QTRY_VERIFY(!ModalDriver::openBox());
    QVERIFY(!answered);
}

QTEST_MAIN(tst_MessageBoxPrompt)
#include "tst_messageboxprompt.moc"
