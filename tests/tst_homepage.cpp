// The offer to make the vendor's navigation page the browser start page, and
// the store it keeps that page in.

#include "homepage/homepageoffer.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString Site = QStringLiteral("http://127.0.0.1:18086");
const QString Target = Site + QStringLiteral("/dh.htm");
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
    void targetText();
    void startup_data();
    void startup();
    void askedAgainNextStart_data();
    void askedAgainNextStart();
    void startupWritesAfterThanksClosed();
    void menu_data();
    void menu();
    void storeCreationRetried_data();
    void storeCreationRetried();
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

void tst_HomePage::targetText()
{
    HomePageOffer offer(Site, memoryStoreFactory(m_store), m_prompt.get());
    QCOMPARE(offer.targetText(), "http://127.0.0.1:18086/dh.htm");
}

void tst_HomePage::startup_data()
{
    QTest::addColumn<Value>("initial");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<Value>("final");
    QTest::addColumn<int>("writes");

    const Answer Ok = Answer::Ok;
    const Answer Cancel = Answer::Cancel;
    const QStringList accepted {OfferText, ThanksText};
    const QStringList declined {OfferText, DeclinedText};
    const Value none;

    QTest::newRow("already the target") << Value(Target) << true << true << QList<Answer> {}
                                        << QStringList {} << Value(Target) << 0;
    QTest::newRow("missing, OK") << none << true << true << QList<Answer> {Ok, Ok} << accepted
                                 << Value(Target) << 1;
    QTest::newRow("missing, Cancel")
        << none << true << true << QList<Answer> {Cancel, Ok} << declined << none << 0;
    QTest::newRow("empty, OK") << Value(QString()) << true << true << QList<Answer> {Ok, Ok}
                               << accepted << Value(Target) << 1;
    QTest::newRow("differs by case, OK")
        << Value(Site + "/DH.htm") << true << true << QList<Answer> {Ok, Ok} << accepted
        << Value(Target) << 1;
    QTest::newRow("differs by case, Cancel")
        << Value(Target.toUpper()) << true << true << QList<Answer> {Cancel, Ok} << declined
        << Value(Target.toUpper()) << 0;
    QTest::newRow("trailing slash, OK") << Value(Target + "/") << true << true
                                        << QList<Answer> {Ok, Ok} << accepted << Value(Target) << 1;
    QTest::newRow("trailing slash, Cancel")
        << Value(Target + "/") << true << true << QList<Answer> {Cancel, Ok} << declined
        << Value(Target + "/") << 0;
    QTest::newRow("another page, Cancel")
        << Value("about:blank") << true << true << QList<Answer> {Cancel, Ok} << declined
        << Value("about:blank") << 0;
    QTest::newRow("unreadable counts as empty, OK")
        << Value(Target) << false << true << QList<Answer> {Ok, Ok} << accepted << Value(Target)
        << 1;
    QTest::newRow("unwritable, OK")
        << Value("about:blank") << true << false << QList<Answer> {Ok, Ok} << accepted
        << Value("about:blank") << 1;
}

void tst_HomePage::startup()
{
    QFETCH(Value, initial);
    QFETCH(bool, readable);
    QFETCH(bool, writable);
    QFETCH(QList<Answer>, answers);
    QFETCH(QStringList, boxes);
    QFETCH(Value, final);
    QFETCH(int, writes);

    m_store->value = initial;
    m_store->readable = readable;
    m_store->writable = writable;
    m_script->answers = answers;
    HomePageOffer offer(Site, memoryStoreFactory(m_store), m_prompt.get());
    runStartup(offer);

    checkBoxes(boxes);
    QCOMPARE(m_store->value, final);
    QCOMPARE(m_store->writes, writes);
    QCOMPARE(m_store->reads, 1);
    QCOMPARE(m_store->creations, 1);
}

void tst_HomePage::askedAgainNextStart_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QString>("second");
    QTest::newRow("Cancel") << Answer::Cancel << true << DeclinedText;
    QTest::newRow("OK, store unwritable") << Answer::Ok << false << ThanksText;
}

void tst_HomePage::askedAgainNextStart()
{
    QFETCH(Answer, answer);
    QFETCH(bool, writable);
    QFETCH(QString, second);

    m_store->writable = writable;
    for (int run = 0; run < 2; ++run) {
        m_script->answers = {answer, Answer::Ok};
        HomePageOffer offer(Site, memoryStoreFactory(m_store), m_prompt.get());
        runStartup(offer);
    }
    checkBoxes({OfferText, second, OfferText, second});
    QVERIFY(!m_store->value);
}

void tst_HomePage::startupWritesAfterThanksClosed()
{
    QList<int> writesWhileOpen;
    m_script->onAsk = [&](const Question &) { writesWhileOpen << m_store->writes; };
    HomePageOffer offer(Site, memoryStoreFactory(m_store), m_prompt.get());
    runStartup(offer);
    checkBoxes({OfferText, ThanksText});
    QCOMPARE(writesWhileOpen, (QList<int> {0, 0}));
    QCOMPARE(m_store->writes, 1);
    QCOMPARE(m_store->value, Value(Target));
}

void tst_HomePage::menu_data()
{
    QTest::addColumn<Value>("initial");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<Value>("final");
    QTest::addColumn<int>("writes");

    QTest::newRow("already the target") << Value(Target) << true << true << Value(Target) << 0;
    QTest::newRow("missing") << Value() << true << true << Value(Target) << 1;
    QTest::newRow("differs by case")
        << Value(Target.toUpper()) << true << true << Value(Target) << 1;
    QTest::newRow("trailing slash") << Value(Target + "/") << true << true << Value(Target) << 1;
    QTest::newRow("unreadable") << Value(Target) << false << true << Value(Target) << 1;
    QTest::newRow("unwritable") << Value("about:blank") << true << false << Value("about:blank")
                                << 1;
}

void tst_HomePage::menu()
{
    QFETCH(Value, initial);
    QFETCH(bool, readable);
    QFETCH(bool, writable);
    QFETCH(Value, final);
    QFETCH(int, writes);

    m_store->value = initial;
    m_store->readable = readable;
    m_store->writable = writable;
    QList<int> writesWhileOpen;
    QList<Value> valueWhileOpen;
    m_script->onAsk = [&](const Question &) {
        writesWhileOpen << m_store->writes;
        valueWhileOpen << m_store->value;
    };
    HomePageOffer offer(Site, memoryStoreFactory(m_store), m_prompt.get());
    offer.offerFromMenu();
    checkBoxes({ThanksText});
    // Written before the thanks appear.
    QCOMPARE(writesWhileOpen, QList<int> {writes});
    QCOMPARE(valueWhileOpen, QList<Value> {final});
    QCOMPARE(m_store->value, final);
    QCOMPARE(m_store->writes, writes);

    offer.offerFromMenu();
    QCOMPARE(m_script->asked.size(), 2);
    // One store, kept.
    QCOMPARE(m_store->creations, 1);
}

void tst_HomePage::storeCreationRetried_data()
{
    QTest::addColumn<bool>("menuFirst");
    QTest::newRow("start-up first") << false;
    QTest::newRow("menu first") << true;
}

void tst_HomePage::storeCreationRetried()
{
    QFETCH(bool, menuFirst);
    m_store->creatable = false;
    HomePageOffer offer(Site, memoryStoreFactory(m_store), m_prompt.get());

    // No store: the read counts as empty, the write is lost, nothing is said.
    if (menuFirst) {
        offer.offerFromMenu();
        checkBoxes({ThanksText});
    } else {
        runStartup(offer);
        checkBoxes({OfferText, ThanksText});
    }
    QCOMPARE(m_store->creations, 2); // for the read and again for the write
    QCOMPARE(m_store->reads, 0);
    QVERIFY(!m_store->value);

    // Creation works now: the next use creates the store and keeps it.
    m_store->creatable = true;
    m_script->asked.clear();
    offer.offerFromMenu();
    QCOMPARE(m_store->creations, 3);
    QCOMPARE(m_store->value, Value(Target));
    runStartup(offer);
    offer.offerFromMenu();
    QCOMPARE(m_store->creations, 3);
    checkBoxes({ThanksText, ThanksText});
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
    HomePageOffer offer(Site, factory, m_prompt.get());
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
    HomePageOffer offer(Site, systemStartPageStore(), m_prompt.get());
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
    auto *offer = new HomePageOffer(Site, memoryStoreFactory(m_store), m_prompt.get());
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
