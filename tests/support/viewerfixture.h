#pragma once

// One viewer for one test: a fixture server with the bundled site, an
// in-memory start-page store, and the window. Owns them and tears them down.

#include "testsupport.h"
#include "ui_mainwindow.h"

#include <QListView>
#include <QWindow>

class ViewerFixture {
public:
    ViewerFixture() = default;
    ViewerFixture(const ViewerFixture &) = delete;
    ViewerFixture &operator=(const ViewerFixture &) = delete;
    ~ViewerFixture() { tearDown(); }

    // Serves the bundled site (or nothing, for tests that route every path
    // themselves) plus channelPages quick pages at /ch/<i>, and builds the
    // window; questions go to script when one is given. False when the
    // server cannot listen.
    bool setUp(int channelPages = 0, bool bundledSite = true,
        const std::shared_ptr<PromptScript> &script = {})
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
        window = script ? newViewer(server, store, script) : newViewer(server, store);
        return true;
    }

    // The window first, so nothing it still loads outlives the server.
    void tearDown()
    {
        delete window;
        window = nullptr;
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

    QListView *channelList() const { return window->form()->channelList; }

    // The current channel: the list's selected row, -1 when none is.
    int selectedRow() const
    {
        const QModelIndexList rows = channelList()->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
    }

    VendorServer *server = nullptr;
    MainWindow *window = nullptr;
    std::shared_ptr<MemoryStartPage> store;
};
