// The offer to make the vendor's navigation page the browser start page, and
// the store it keeps that page in.

#include "app/msgbox.h"
#include "homepage/homepageoffer.h"
#include "modaldriver.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <functional>

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

// Answers boxes by hand, noting for each how many writes the store had
// seen while it was open.
class Prober : public QObject {
public:
    Prober(std::shared_ptr<MemoryStartPage> store, QList<int> answers, QObject *parent)
        : QObject(parent), m_store(std::move(store)), m_answers(std::move(answers))
    {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }

    QStringList texts;
    QList<int> writesWhileOpen;
    QList<Value> valueWhileOpen;
    // Called while a box is open, before it is answered.
    std::function<void(QMessageBox *)> onOpen;

private:
    void poll()
    {
        QMessageBox *box = ModalDriver::openBox();
        if (!box || box == m_last)
            return;
        m_last = box;
        texts << box->text();
        writesWhileOpen << m_store->writes;
        valueWhileOpen << m_store->value;
        if (onOpen)
            onOpen(box);
        const int answer = m_answers.isEmpty() ? QMessageBox::Ok : m_answers.takeFirst();
        if (QAbstractButton *b = box->button(QMessageBox::StandardButton(answer)))
            b->click();
    }

    std::shared_ptr<MemoryStartPage> m_store;
    QList<int> m_answers;
    QTimer m_timer;
    QPointer<QMessageBox> m_last;
};

} // namespace

Q_DECLARE_METATYPE(Value)

class tst_HomePage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
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
    // Last: the program-ending flag cannot be cleared.
    void programEndingDuringOffer();

private:
    void checkBoxes(const QStringList &texts);

    QWidget *m_parent = nullptr;
    ModalDriver *m_driver = nullptr;
    std::shared_ptr<MemoryStartPage> m_store;
};

void tst_HomePage::initTestCase()
{
    installChineseTranslations();
}

void tst_HomePage::init()
{
    m_parent = new QWidget;
    m_parent->resize(200, 100);
    m_parent->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_parent));
    m_driver = new ModalDriver(this);
    m_store = std::make_shared<MemoryStartPage>();
}

void tst_HomePage::cleanup()
{
    delete m_driver;
    m_driver = nullptr;
    delete m_parent;
    m_parent = nullptr;
}

// Every box: the expected texts in order, title "提示", no icon, Chinese
// buttons (OK and Cancel only on the offer itself).
void tst_HomePage::checkBoxes(const QStringList &texts)
{
    const QList<SeenBox> &seen = m_driver->seen();
    QStringList seenTexts;
    for (const SeenBox &b : seen)
        seenTexts << b.text;
    QCOMPARE(seenTexts, texts);
    for (const SeenBox &b : seen) {
        QCOMPARE(b.title, "提示");
        QCOMPARE(b.icon, QMessageBox::NoIcon);
        QCOMPARE(
            b.buttons, b.text == OfferText ? QStringList({"确定", "取消"}) : QStringList {"确定"});
    }
}

void tst_HomePage::targetText()
{
    HomePageOffer offer(m_parent, Site, memoryStoreFactory(m_store));
    QCOMPARE(offer.targetText(), "http://127.0.0.1:18086/dh.htm");
}

void tst_HomePage::startup_data()
{
    QTest::addColumn<Value>("initial");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<Value>("final");
    QTest::addColumn<int>("writes");

    const int Ok = QMessageBox::Ok;
    const int Cancel = QMessageBox::Cancel;
    const int Esc = ModalDriver::Escape;
    const QStringList accepted {OfferText, ThanksText};
    const QStringList declined {OfferText, DeclinedText};
    const Value none;

    QTest::newRow("already the target")
        << Value(Target) << true << true << QList<int> {} << QStringList {} << Value(Target) << 0;
    QTest::newRow("missing, OK") << none << true << true << QList<int> {Ok, Ok} << accepted
                                 << Value(Target) << 1;
    QTest::newRow("missing, Cancel")
        << none << true << true << QList<int> {Cancel, Ok} << declined << none << 0;
    QTest::newRow("missing, Escape")
        << none << true << true << QList<int> {Esc, Ok} << declined << none << 0;
    QTest::newRow("empty, OK") << Value(QString()) << true << true << QList<int> {Ok, Ok}
                               << accepted << Value(Target) << 1;
    QTest::newRow("differs by case, OK") << Value(Site + "/DH.htm") << true << true
                                         << QList<int> {Ok, Ok} << accepted << Value(Target) << 1;
    QTest::newRow("differs by case, Cancel")
        << Value(Target.toUpper()) << true << true << QList<int> {Cancel, Ok} << declined
        << Value(Target.toUpper()) << 0;
    QTest::newRow("trailing slash, OK") << Value(Target + "/") << true << true
                                        << QList<int> {Ok, Ok} << accepted << Value(Target) << 1;
    QTest::newRow("trailing slash, Escape")
        << Value(Target + "/") << true << true << QList<int> {Esc, Ok} << declined
        << Value(Target + "/") << 0;
    QTest::newRow("another page, Cancel")
        << Value("about:blank") << true << true << QList<int> {Cancel, Ok} << declined
        << Value("about:blank") << 0;
    QTest::newRow("unreadable counts as empty, OK")
        << Value(Target) << false << true << QList<int> {Ok, Ok} << accepted << Value(Target) << 1;
    QTest::newRow("unwritable, OK") << Value("about:blank") << true << false << QList<int> {Ok, Ok}
                                    << accepted << Value("about:blank") << 1;
}

void tst_HomePage::startup()
{
    QFETCH(Value, initial);
    QFETCH(bool, readable);
    QFETCH(bool, writable);
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, boxes);
    QFETCH(Value, final);
    QFETCH(int, writes);

    m_store->value = initial;
    m_store->readable = readable;
    m_store->writable = writable;
    for (int a : answers)
        m_driver->queue(a);
    HomePageOffer offer(m_parent, Site, memoryStoreFactory(m_store));
    offer.offerAtStartup();

    checkBoxes(boxes);
    QCOMPARE(m_store->value, final);
    QCOMPARE(m_store->writes, writes);
    QCOMPARE(m_store->reads, 1);
    QCOMPARE(m_store->creations, 1);
}

void tst_HomePage::askedAgainNextStart_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QString>("second");
    QTest::newRow("Cancel") << int(QMessageBox::Cancel) << true << DeclinedText;
    QTest::newRow("Escape") << int(ModalDriver::Escape) << true << DeclinedText;
    QTest::newRow("OK, store unwritable") << int(QMessageBox::Ok) << false << ThanksText;
}

void tst_HomePage::askedAgainNextStart()
{
    QFETCH(int, answer);
    QFETCH(bool, writable);
    QFETCH(QString, second);

    m_store->writable = writable;
    for (int run = 0; run < 2; ++run) {
        m_driver->queue(answer);
        m_driver->queue(QMessageBox::Ok);
        HomePageOffer offer(m_parent, Site, memoryStoreFactory(m_store));
        offer.offerAtStartup();
    }
    checkBoxes({OfferText, second, OfferText, second});
    QVERIFY(!m_store->value);
}

void tst_HomePage::startupWritesAfterThanksClosed()
{
    // The driver leaves the boxes to the prober.
    m_driver->answering = false;
    Prober prober(m_store, {QMessageBox::Ok, QMessageBox::Ok}, this);
    HomePageOffer offer(m_parent, Site, memoryStoreFactory(m_store));
    offer.offerAtStartup();
    QCOMPARE(prober.texts, (QStringList {OfferText, ThanksText}));
    QCOMPARE(prober.writesWhileOpen, (QList<int> {0, 0}));
    QCOMPARE(prober.valueWhileOpen, (QList<Value> {Value(), Value()}));
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
    HomePageOffer offer(m_parent, Site, memoryStoreFactory(m_store));

    // First with the driver, for what the box shows; then with the prober,
    // for when the write happens.
    offer.offerFromMenu();
    checkBoxes({ThanksText});
    QCOMPARE(m_store->value, final);
    QCOMPARE(m_store->writes, writes);

    m_store->value = initial;
    m_store->writes = 0;
    m_driver->answering = false;
    Prober prober(m_store, {QMessageBox::Ok}, this);
    offer.offerFromMenu();
    QCOMPARE(prober.texts, QStringList {ThanksText});
    // Written before the thanks appear.
    QCOMPARE(prober.writesWhileOpen, QList<int> {writes});
    QCOMPARE(prober.valueWhileOpen, QList<Value> {final});
    QCOMPARE(m_store->writes, writes);
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
    HomePageOffer offer(m_parent, Site, memoryStoreFactory(m_store));

    // No store: the read counts as empty, the write is lost, nothing is said.
    if (menuFirst) {
        offer.offerFromMenu();
        checkBoxes({ThanksText});
    } else {
        m_driver->queue(QMessageBox::Ok);
        offer.offerAtStartup();
        checkBoxes({OfferText, ThanksText});
    }
    QCOMPARE(m_store->creations, 2); // for the read and again for the write
    QCOMPARE(m_store->reads, 0);
    QVERIFY(!m_store->value);

    // Creation works now: the next use creates the store and keeps it.
    m_store->creatable = true;
    m_driver->clear();
    offer.offerFromMenu();
    QCOMPARE(m_store->creations, 3);
    QCOMPARE(m_store->value, Value(Target));
    offer.offerAtStartup();
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
    HomePageOffer offer(m_parent, Site, factory);
    offer.offerAtStartup();
    QVERIFY(m_driver->seen().isEmpty());
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
    m_driver->queue(QMessageBox::Ok);
    HomePageOffer offer(m_parent, Site, systemStartPageStore());
    offer.offerAtStartup();
    checkBoxes({OfferText, ThanksText});
}

void tst_HomePage::programEndingDuringOffer()
{
    m_driver->answering = false;
    Prober prober(m_store, {QMessageBox::Ok}, this);
    prober.onOpen = [](QMessageBox *) { MsgBox::setProgramEnding(); };
    HomePageOffer offer(m_parent, Site, memoryStoreFactory(m_store));
    offer.offerAtStartup();
    // Confirmed, but the program was ending: no thanks, nothing written.
    QCOMPARE(prober.texts, QStringList {OfferText});
    QCOMPARE(m_store->writes, 0);
    QVERIFY(!m_store->value);
}

QTEST_MAIN(tst_HomePage)
#include "tst_homepage.moc"
