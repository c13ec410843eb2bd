// The offer to make the vendor's navigation page the browser start page, and
// the store it keeps that page in.

#include "homepage/homepageoffer.h"
#include "prompting.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString Target = QStringLiteral("http://127.0.0.1:18086/dh.htm");
const QString OfferText = QStringLiteral("请点击[确定]按钮已表示您对栎川软件的支持,"
                                         "它将会修改浏览器主页为[栎川上网导航],更好的为您服务.");
const QString ThanksText = QStringLiteral("感谢您对栎川软件的支持,栎川软件有您而精彩.");
const QString DeclinedText = QStringLiteral(
    "您未支持栎川软件开发,[支持提示]会在下次使用时显示,软件无任何限制,可正常使用.");
const QString IniGroup
    = QStringLiteral("HKEY_CURRENT_USER/Software/Microsoft/Internet Explorer/Main");

using Value = std::optional<QString>;

} // namespace

Q_DECLARE_METATYPE(Value)

class tst_HomePage : public QObject {
    Q_OBJECT
private slots:
    void init();
    void offer_data();
    void offer();
    void systemStore_data();
    void systemStore();
    void systemStoreUnwritable_data();
    void systemStoreUnwritable();
    void windowGoneWhileAsking_data();
    void windowGoneWhileAsking();

private:
    void checkBoxes(const QStringList &texts);
    // Runs the start-up offer to its end, answering as scripted.
    void runStartup(HomePageOffer &offer);

    std::shared_ptr<PromptScript> m_script;
    std::unique_ptr<FakePrompt> m_prompt;
    std::shared_ptr<MemoryStartPage> m_store;
};

void tst_HomePage::init()
{
    m_script = std::make_shared<PromptScript>();
    m_prompt = std::make_unique<FakePrompt>(m_script);
    m_store = std::make_shared<MemoryStartPage>();
}

// Every box: the expected texts in order, title "提示", no icon, OK and
// Cancel only on the offer itself.
void tst_HomePage::checkBoxes(const QStringList &texts)
{
    QCOMPARE(m_script->texts(), texts);
    for (const Question &q : std::as_const(m_script->asked)) {
        QCOMPARE(q.title, "提示");
        QVERIFY(!q.questionIcon);
        QCOMPARE(
            q.buttons, q.text == OfferText ? Question::Buttons::OkCancel : Question::Buttons::Ok);
    }
}

void tst_HomePage::runStartup(HomePageOffer &offer)
{
    bool done = false;
    offer.offerAtStartup([&done] { done = true; });
    // Never from inside the call: the caller goes on first.
    QVERIFY(!done);
    QTRY_VERIFY(done);
    QVERIFY(m_script->pending.isEmpty());
}

void tst_HomePage::offer_data()
{
    // Steps: "start" (the start-up offer), "menu" (the support command),
    // "next run" (a new offer, as at the next start), "store fixed" (the
    // store can be created from now on).
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<Value>("initial");
    QTest::addColumn<QString>("store"); // what fails: "", "read", "write", "create"
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<Value>("final");
    // Writes done by the time each box appeared, and in all.
    QTest::addColumn<QList<int>>("writesAtBoxes");
    QTest::addColumn<int>("writes");
    QTest::addColumn<int>("creations");

    const Answer Ok = Answer::Ok;
    const Answer Cancel = Answer::Cancel;
    const QStringList start {"start"};
    const QStringList menu {"menu"};
    const QStringList accepted {OfferText, ThanksText};
    const QStringList declined {OfferText, DeclinedText};
    const QList<int> twoBoxes {0, 0};
    const Value none;
    const Value target(Target);

    QTest::newRow("start: already the target")
        << start << target << "" << QList<Answer> {} << QStringList {} << target << QList<int> {}
        << 0 << 1;
    // Thanked first, written once the thanks are closed.
    QTest::newRow("start: missing, OK") << start << none << "" << QList<Answer> {Ok, Ok} << accepted
                                        << target << twoBoxes << 1 << 1;
    QTest::newRow("start: missing, Cancel") << start << none << "" << QList<Answer> {Cancel, Ok}
                                            << declined << none << twoBoxes << 0 << 1;
    QTest::newRow("start: empty, OK") << start << Value(QString()) << "" << QList<Answer> {Ok, Ok}
                                      << accepted << target << twoBoxes << 1 << 1;
    QTest::newRow("start: differs by case, OK")
        << start << Value(Target.toUpper()) << "" << QList<Answer> {Ok, Ok} << accepted << target
        << twoBoxes << 1 << 1;
    QTest::newRow("start: differs by case, Cancel")
        << start << Value(Target.toUpper()) << "" << QList<Answer> {Cancel, Ok} << declined
        << Value(Target.toUpper()) << twoBoxes << 0 << 1;
    QTest::newRow("start: trailing slash, OK")
        << start << Value(Target + "/") << "" << QList<Answer> {Ok, Ok} << accepted << target
        << twoBoxes << 1 << 1;
    QTest::newRow("start: another page, Cancel")
        << start << Value("about:blank") << "" << QList<Answer> {Cancel, Ok} << declined
        << Value("about:blank") << twoBoxes << 0 << 1;
    QTest::newRow("start: unreadable counts as empty, OK")
        << start << target << "read" << QList<Answer> {Ok, Ok} << accepted << target << twoBoxes
        << 1 << 1;
    QTest::newRow("start: unwritable, OK")
        << start << Value("about:blank") << "write" << QList<Answer> {Ok, Ok} << accepted
        << Value("about:blank") << twoBoxes << 1 << 1;
    QTest::newRow("asked again next start after Cancel")
        << QStringList {"start", "next run", "start"} << none << ""
        << QList<Answer> {Cancel, Ok, Cancel, Ok} << (declined + declined) << none
        << QList<int> {0, 0, 0, 0} << 0 << 2;
    QTest::newRow("asked again next start when unwritable")
        << QStringList {"start", "next run", "start"} << none << "write"
        << QList<Answer> {Ok, Ok, Ok, Ok} << (accepted + accepted) << none
        << QList<int> {0, 0, 1, 1} << 2 << 2;
    // The menu writes before it thanks, and only what differs.
    QTest::newRow("menu: already the target")
        << menu << target << "" << QList<Answer> {} << QStringList {ThanksText} << target
        << QList<int> {0} << 0 << 1;
    QTest::newRow("menu: missing")
        << menu << none << "" << QList<Answer> {} << QStringList {ThanksText} << target
        << QList<int> {1} << 1 << 1;
    QTest::newRow("menu: differs by case")
        << menu << Value(Target.toUpper()) << "" << QList<Answer> {} << QStringList {ThanksText}
        << target << QList<int> {1} << 1 << 1;
    QTest::newRow("menu: trailing slash")
        << menu << Value(Target + "/") << "" << QList<Answer> {} << QStringList {ThanksText}
        << target << QList<int> {1} << 1 << 1;
    QTest::newRow("menu: unreadable")
        << menu << target << "read" << QList<Answer> {} << QStringList {ThanksText} << target
        << QList<int> {1} << 1 << 1;
    QTest::newRow("menu: unwritable")
        << menu << Value("about:blank") << "write" << QList<Answer> {} << QStringList {ThanksText}
        << Value("about:blank") << QList<int> {1} << 1 << 1;
    // No store: the read counts as empty, the write is lost, nothing is
    // said; a store made later is kept.
    QTest::newRow("no store at start-up, then one")
        << QStringList {"start", "store fixed", "menu", "start", "menu"} << none << "create"
        << QList<Answer> {} << (accepted + QStringList {ThanksText, ThanksText}) << target
        << QList<int> {0, 0, 1, 1} << 1 << 3;
    QTest::newRow("no store from the menu, then one")
        << QStringList {"menu", "store fixed", "menu", "start", "menu"} << none << "create"
        << QList<Answer> {} << QStringList {ThanksText, ThanksText, ThanksText} << target
        << QList<int> {0, 1, 1} << 1 << 3;
}

void tst_HomePage::offer()
{
    QFETCH(QStringList, steps);
    QFETCH(Value, initial);
    QFETCH(QString, store);
    QFETCH(QList<Answer>, answers);
    QFETCH(QStringList, boxes);
    QFETCH(Value, final);
    QFETCH(QList<int>, writesAtBoxes);
    QFETCH(int, writes);
    QFETCH(int, creations);

    m_store->value = initial;
    m_store->readable = store != "read";
    m_store->writable = store != "write";
    m_store->creatable = store != "create";
    m_script->answers = answers;
    QList<int> seenWrites;
    m_script->onAsk = [&](const Question &) { seenWrites << m_store->writes; };
    auto offer
        = std::make_unique<HomePageOffer>(Target, memoryStoreFactory(m_store), m_prompt.get());
    for (const QString &step : steps) {
        if (step == "start")
            runStartup(*offer);
        else if (step == "menu")
            offer->setStartPageAndThank();
        else if (step == "next run")
            offer = std::make_unique<HomePageOffer>(
                Target, memoryStoreFactory(m_store), m_prompt.get());
        else
            m_store->creatable = true;
        if (QTest::currentTestFailed())
            return;
    }
    checkBoxes(boxes);
    QCOMPARE(seenWrites, writesAtBoxes);
    QCOMPARE(m_store->value, final);
    QCOMPARE(m_store->writes, writes);
    QCOMPARE(m_store->creations, creations);
}

void tst_HomePage::systemStore_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("the target") << Target;
    QTest::newRow("commas and spaces") << "http://h/a b,c;d=e";
    QTest::newRow("Chinese") << "http://导航.例子/首页";
}

void tst_HomePage::systemStore()
{
    QFETCH(QString, text);
    QTemporaryDir config;
    QVERIFY(config.isValid());
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    auto restore = qScopeGuard([&] { qputenv("XDG_CONFIG_HOME", oldConfig); });

    const StartPageStoreFactory factory = systemStartPageStore();
    std::unique_ptr<StartPageStore> store = factory();
    QVERIFY(store);
    QCOMPARE(store->read(), Value());
    QVERIFY(store->write(text));
    QCOMPARE(store->read(), Value(text));
    // A store made later, as at the next start, reads the same.
    QCOMPARE(factory()->read(), Value(text));

    // Where the README says it is.
    const QString path = config.path() + "/lichuantv/registry.ini";
    QVERIFY(QFile::exists(path));
    QSettings ini(path, QSettings::IniFormat);
    QCOMPARE(ini.value(IniGroup + "/Start page").toString(), text);

    // The offer on the real store: already ours, so nothing is asked.
    QVERIFY(store->write(Target));
    HomePageOffer offer(Target, factory, m_prompt.get());
    runStartup(offer);
    QVERIFY(m_script->asked.isEmpty());
}

void tst_HomePage::systemStoreUnwritable_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("folder is a file") << "file";
    QTest::newRow("registry.ini is a folder") << "folder";
    QTest::newRow("read-only folder") << "readonly";
}

void tst_HomePage::systemStoreUnwritable()
{
    QFETCH(QString, how);
    QTemporaryDir config;
    QVERIFY(config.isValid());
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const QString dir = config.path() + "/lichuantv";
    auto restore = qScopeGuard([&] {
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_CONFIG_HOME", oldConfig);
    });

    if (how == "file") {
        QFile blocker(dir);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    } else if (how == "folder") {
        QVERIFY(QDir().mkpath(dir + "/registry.ini"));
    } else {
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner));
        QFile probe(dir + "/probe");
        if (probe.open(QIODevice::WriteOnly))
            QSKIP("Running as a user who may write into read-only folders");
    }

    std::unique_ptr<StartPageStore> store = systemStartPageStore()();
    QVERIFY(store);
    QVERIFY(!store->write(Target));
    QCOMPARE(store->read(), Value());

    // The offer goes on as if written; nothing more is shown.
    HomePageOffer offer(Target, systemStartPageStore(), m_prompt.get());
    runStartup(offer);
    checkBoxes({OfferText, ThanksText});
}

void tst_HomePage::windowGoneWhileAsking_data()
{
    QTest::addColumn<int>("answered");
    QTest::newRow("during the offer") << 0;
    QTest::newRow("during the thanks") << 1;
}

void tst_HomePage::windowGoneWhileAsking()
{
    // The program ends while a box is open: the offer goes with the window,
    // and nothing after the answer runs.
    QFETCH(int, answered);
    m_script->hold = true;
    bool done = false;
    auto *offer = new HomePageOffer(Target, memoryStoreFactory(m_store), m_prompt.get());
    offer->offerAtStartup([&done] { done = true; });
    for (int i = 0; i < answered; ++i)
        QVERIFY(m_script->answer(Answer::Ok));
    QCOMPARE(m_script->asked.size(), answered + 1);
    delete offer;
    QVERIFY(m_script->answer(Answer::Ok));
    QCOMPARE(m_script->asked.size(), answered + 1);
    QCOMPARE(m_store->writes, 0);
    QVERIFY(!done);
}

QTEST_GUILESS_MAIN(tst_HomePage)
#include "tst_homepage.moc"
