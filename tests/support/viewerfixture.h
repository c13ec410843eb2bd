#pragma once

// One viewer for one test: a fixture server with the bundled site, an
// in-memory start-page store, a scripted user, and the window. Owns them and
// tears them down.

#include "guide/channelguide.h"
#include "testsupport.h"
#include "webview/listpage.h"
#include "webview/playerview.h"

#include <QListView>
#include <QPushButton>
#include <QWindow>

class ViewerFixture {
public:
    ViewerFixture() = default;
    ViewerFixture(const ViewerFixture &) = delete;
    ViewerFixture &operator=(const ViewerFixture &) = delete;
    ~ViewerFixture() { tearDown(); }

    // Serves the bundled site (or nothing, for tests that route every path
    // themselves) plus channelPages quick pages at /ch/<i>, and builds the
    // window from options that adjust may change. Every question goes to
    // prompts. False when the server cannot listen.
    bool setUp(int channelPages = 0, bool bundledSite = true,
        const std::function<void(ViewerOptions &)> &adjust = {})
    {
        tearDown();
        server = new VendorServer;
        if (bundledSite)
            serveSite(server);
        VendorServer::Response page;
        page.contentType = "text/html; charset=utf-8";
        page.body = "<html><body>channel</body></html>";
        for (int i = 0; i < channelPages; ++i)
            server->setRoute(QStringLiteral("/ch/%1").arg(i), page);
        if (!server->listen())
            return false;
        prompts = std::make_shared<PromptScript>();
        ViewerOptions options = viewerOptions(server, store, prompts);
        if (adjust)
            adjust(options);
        window = new MainWindow(std::move(options));
        // Fullscreen takes the player out of the window's tree.
        m_player = part<PlayerView>("player");
        return true;
    }

    // The window first, so nothing it still loads outlives the server.
    void tearDown()
    {
        delete window;
        window = nullptr;
        m_player = nullptr;
        delete server;
        server = nullptr;
        store.reset();
    }

    // Shows the window and waits until the X server has drawn it.
    bool show()
    {
        window->show();
        return QTest::qWaitForWindowExposed(window);
    }

    QString channelUrl(int i) const { return server->baseUrl() + QStringLiteral("/ch/%1").arg(i); }

    // The native window as it is now: QWidget::winId() keeps reporting the
    // first one if Qt ever makes the native window anew.
    WId xid() const { return window->windowHandle()->winId(); }

    // A part of the window by its object name, as the form names it.
    template<class T>
    T *part(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    QListView *channelList() const { return part<QListView>("channelList"); }
    PlayerView *player() const { return m_player; }
    QPushButton *button(const char *name) const { return part<QPushButton>(name); }
    ChannelGuide *guide() const { return window->findChild<ChannelGuide *>(); }
    ListPage *listPage() const { return window->findChild<ListPage *>(); }

    // The current channel: the list's selected row, -1 when none is.
    int selectedRow() const
    {
        const QModelIndexList rows = channelList()->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
    }

    VendorServer *server = nullptr;
    MainWindow *window = nullptr;
    std::shared_ptr<MemoryStartPage> store;
    std::shared_ptr<PromptScript> prompts;

private:
    QPointer<PlayerView> m_player;
};
