#pragma once

// Shared helpers for the viewer's tests.

#include "app/mainwindow.h"
#include "app/startup.h"
#include "browsercatcher.h"
#include "netsupport.h"
#include "prompting.h"
#include "vendorserver.h"
#include "webview/listpage.h"
#include "webview/webenvironment.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QWebEnginePage>

#include <memory>
#include <optional>

// main() of a test with windows or web views: the program's own
// process-wide set-up and arguments around Qt Test's application object (Qt
// Test reads its own from argv). Qt Test adds QT_QTESTLIB_RUNNING to the
// environment when it starts; it is set first here, because the set-up
// starts the web engine, whose GPU thread reads the environment while a new
// variable would be moving it.
#define VIEWER_TEST_MAIN(TestObject)                                                               \
    QTEST_MAIN_WRAPPER(TestObject, qputenv("QT_QTESTLIB_RUNNING", "1");                            \
                       WebEnvironment::registerSchemes();                                          \
                       Startup::ApplicationArguments arguments(argc, argv);                        \
                       QApplication app(arguments.count(), arguments.values());                    \
                       app.setAttribute(Qt::AA_Use96Dpi, true); Startup::prepareApplication(app);)

// Waits until page has finished loading url (any outcome); returns the ok
// flag, or false when it did not finish in time. Call it right after the
// navigation has been started.
inline bool waitForLoad(QWebEnginePage *page, const QUrl &url, int timeoutMs = 20000)
{
    bool done = false;
    bool ok = false;
    const auto c = QObject::connect(page, &QWebEnginePage::loadFinished, page, [&](bool r) {
        if (page->url() == url && !done) {
            ok = r;
            done = true;
        }
    });
    const bool finished = QTest::qWaitFor([&] { return done; }, timeoutMs);
    QObject::disconnect(c);
    return finished && ok;
}

// Runs a body-text read on page and waits for its answer. Reads of one page
// come back in order, so every earlier read has been answered too.
inline QString plainTextOf(ListPage *page)
{
    auto text = std::make_shared<QString>();
    auto done = std::make_shared<bool>(false);
    page->readBodyText([text, done](const QString &t) {
        *text = t;
        *done = true;
    });
    // An unanswered read gives the empty text, which callers treat as no list.
    if (!QTest::qWaitFor([&] { return *done; }, 10000))
        qWarning("plainTextOf: the page did not answer");
    return *text;
}

// The bundled site on a fixture server, with a version file that matches this
// build, so start-up shows no message.
inline void serveSite(VendorServer *server)
{
    server->setRoot(QStringLiteral(SITE_DIR));
    VendorServer::Response version;
    version.body = buildVersion().toUtf8();
    server->setRoute(QStringLiteral("/version/zavo.txt"), version);
    // The list's CDN channel names its segments there.
    server->startCdn();
}

// How many channels the bundled list names (its lines all have a ';').
inline int bundledChannelCount()
{
    QFile list(QStringLiteral(SITE_DIR "/zavo/list.txt"));
    return list.open(QIODevice::ReadOnly) ? int(list.readAll().count(';')) : -1;
}

// Runs the viewer's whole start-up and waits for its last step; false when
// it did not get there in time. Waits in a real event loop, as the program
// does: the engine's work on this thread starves in QTest's sleeping waits.
inline bool startAndFinish(MainWindow *w, int timeoutMs = 30000)
{
    QEventLoop loop;
    bool finished = false;
    QObject::connect(w, &MainWindow::startupStep, &loop, [&](MainWindow::Step step) {
        if (step == MainWindow::Step::VersionChecked) {
            finished = true;
            loop.quit();
        }
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    w->start();
    if (!finished)
        loop.exec();
    return finished;
}

// Options for a viewer against server whose home-page store already holds
// the vendor's navigation page, so start-up offers nothing. Questions go to
// script when one is given.
inline ViewerOptions viewerOptions(VendorServer *server, std::shared_ptr<MemoryStartPage> &store,
    const std::shared_ptr<PromptScript> &script = {})
{
    const VendorSite site(server->baseUrl());
    store = std::make_shared<MemoryStartPage>();
    store->value = site.navigationPage();
    ViewerOptions options {site};
    options.startPageStore = memoryStoreFactory(store);
    if (script)
        options.prompt = std::make_shared<FakePrompt>(script);
    return options;
}
