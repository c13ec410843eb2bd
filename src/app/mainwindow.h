#pragma once

#include "app/windowbehaviour.h"
#include "homepage/startpagestore.h"
#include "net/vendorsite.h"
#include "net/versioncheck.h"
#include "player/streamkind.h"

#include <QMainWindow>
#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>

namespace Ui {
class MainWindow;
}
class ChannelGuide;
class DesktopMedia;
class HomePageOffer;
class ListPage;
class Prompt;

// What the window is built from. The defaults are the running program's;
// tests hand in their own.
struct ViewerOptions {
    VendorSite site;
    StartPageStoreFactory startPageStore = systemStartPageStore();
    // Where questions go; Qt's message boxes when null.
    std::shared_ptr<Prompt> prompt;
    TrayProbe tray;
    // What ending the program does once the user has confirmed.
    std::function<void()> endProgram;
    std::chrono::milliseconds versionWait = VersionCheck::DefaultWait;
    StreamTimings streamTimings;
};

// The viewer's one window. It wires the parts together: the list page
// feeds the guide, the guide tells the player what to show.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(ViewerOptions options, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The whole start-up, in this order: prepares the window, starts the
    // list page's renderer, runs the home-page offer, starts the list
    // download and checks the version; the window shows when that is over
    // (or earlier, when the list arrives first). The player's idle page and
    // the notices load once the list is in: on two cores they would hold it
    // up. Nothing here waits: each step goes on from the answer of the one
    // before.
    void start();
    // Asks before the program ends; OK ends it at once.
    void confirmQuit();
    // From wherever the window is: the tray, the taskbar or behind others.
    void bringToFront();

    // Start-up steps, for observers that follow its order.
    enum class Step { Prepared, ViewsStarted, OfferDone, ListRequested, VersionChecked };
    Q_ENUM(Step)
signals:
    void startupStep(MainWindow::Step step);

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void wireChannels();
    void wireMenus();
    void wireDesktop();
    void fillInfoLabels();
    void startViews();
    void loadPlayerAndNotices();
    void reportVersion(VersionCheck::Verdict verdict);
    void finishStartup();
    void openInBrowser(const QString &url);
    void markFeedbackLink();
    void keepFocusAcrossFullScreen();

    std::unique_ptr<Ui::MainWindow> ui;
    VendorSite m_site;
    std::shared_ptr<Prompt> m_prompt;
    ListPage *m_listPage = nullptr;
    ChannelGuide *m_guide = nullptr;
    HomePageOffer *m_homePage = nullptr;
    VersionCheck *m_versionCheck = nullptr;
    WindowBehaviour *m_behaviour = nullptr;
    DesktopMedia *m_desktop = nullptr;
    // The control that last had the keyboard, the player aside.
    QPointer<QWidget> m_lastControl;
    QPointer<QWidget> m_controlBeforeFullScreen;
    bool m_askingToQuit = false;
    bool m_playerAndNoticesLoaded = false;
    std::function<void()> m_endProgram;
};
