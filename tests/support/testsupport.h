#pragma once

// Shared helpers for the viewer's tests.

#include "app/mainwindow.h"
#include "app/startup.h"
#include "browsercatcher.h"
#include "homepage/startpagestore.h"
#include "netsupport.h"
#include "prompt/prompt.h"
#include "vendorserver.h"
#include "webview/listpage.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
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

// An in-memory start-page store shared by every store the factory makes, so
// a test sees what the code wrote.
struct MemoryStartPage {
    std::optional<QString> value;
    bool readable = true;
    bool writable = true;
    int reads = 0;
    int writes = 0;
    int creations = 0;
    bool creatable = true;
};

class MemoryStore : public StartPageStore {
public:
    explicit MemoryStore(std::shared_ptr<MemoryStartPage> s) : m_s(std::move(s)) { }
    std::optional<QString> read() override
    {
        ++m_s->reads;
        if (!m_s->readable)
            return std::nullopt;
        return m_s->value;
    }
    bool write(const QString &text) override
    {
        ++m_s->writes;
        if (!m_s->writable)
            return false;
        m_s->value = text;
        return true;
    }

private:
    std::shared_ptr<MemoryStartPage> m_s;
};

inline StartPageStoreFactory memoryStoreFactory(std::shared_ptr<MemoryStartPage> s)
{
    return [s]() -> std::unique_ptr<StartPageStore> {
        ++s->creations;
        if (!s->creatable)
            return nullptr;
        return std::make_unique<MemoryStore>(s);
    };
}

// The user as a script: every question is recorded and answered, later, as
// a user would, with the next queued answer (OK when none is queued). With
// hold set, questions wait until the test answers them.
struct PromptScript {
    QList<Question> asked;
    QList<Answer> answers;
    bool hold = false;
    // Runs as each question is asked, before it is answered.
    std::function<void(const Question &)> onAsk;

    struct Pending {
        QPointer<QObject> context;
        std::function<void(Answer)> answered;
    };
    QList<Pending> pending;

    QStringList texts() const
    {
        QStringList t;
        for (const Question &q : asked)
            t << q.text;
        return t;
    }
    // Answers the oldest open question; false when none is open.
    bool answer(Answer a)
    {
        if (pending.isEmpty())
            return false;
        const Pending p = pending.takeFirst();
        if (p.context)
            p.answered(a);
        return true;
    }
};

class FakePrompt : public Prompt {
public:
    explicit FakePrompt(std::shared_ptr<PromptScript> script) : m_script(std::move(script)) { }
    void ask(
        const Question &question, QObject *context, std::function<void(Answer)> answered) override
    {
        m_script->asked << question;
        if (m_script->onAsk)
            m_script->onAsk(question);
        m_script->pending.append({context, std::move(answered)});
        if (m_script->hold)
            return;
        const Answer a = m_script->answers.isEmpty() ? Answer::Ok : m_script->answers.takeFirst();
        std::weak_ptr<PromptScript> weak = m_script;
        QTimer::singleShot(0, context, [weak, a] {
            if (auto s = weak.lock())
                s->answer(a);
        });
    }

private:
    std::shared_ptr<PromptScript> m_script;
};

// Qt's own texts in Chinese, as the viewer has them.
// The application's own start-up preparation: Chinese locale and translations.
inline void installChineseTranslations()
{
    Startup::prepareApplication(*static_cast<QApplication *>(QCoreApplication::instance()));
}

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

// A viewer against server whose home-page store already holds the vendor's
// navigation page, so start-up offers nothing.
inline MainWindow *newViewer(VendorServer *server, std::shared_ptr<MemoryStartPage> &store)
{
    store = std::make_shared<MemoryStartPage>();
    store->value = server->baseUrl() + QStringLiteral("/dh.htm");
    return new MainWindow(server->baseUrl(), memoryStoreFactory(store));
}

// The same, with every question going to script instead of a message box.
inline MainWindow *newViewer(VendorServer *server, std::shared_ptr<MemoryStartPage> &store,
    const std::shared_ptr<PromptScript> &script)
{
    store = std::make_shared<MemoryStartPage>();
    store->value = server->baseUrl() + QStringLiteral("/dh.htm");
    return new MainWindow(
        server->baseUrl(), memoryStoreFactory(store), std::make_unique<FakePrompt>(script));
}
