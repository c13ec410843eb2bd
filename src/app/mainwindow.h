#pragma once

#include "homepage/startpagestore.h"
#include "net/versioncheck.h"
#include "prompt/prompt.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>

namespace Ui {
class MainWindow;
}
class QLabel;
class ChannelGuide;
class HomePageOffer;
class ListPage;
class WindowBehaviour;

// The viewer's one window.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Questions go to prompt; without one, to Qt's message boxes.
    explicit MainWindow(const QString &vendorSite,
        StartPageStoreFactory startPageStore = systemStartPageStore(),
        std::unique_ptr<Prompt> prompt = nullptr, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The whole start-up, in this order: prepares the window, starts the
    // three views, runs the home-page offer, starts the list download and
    // checks the version; the window shows when that is over (or earlier,
    // when the list arrives first). Nothing here waits: each step goes on
    // from the answer of the one before.
    void start();
    // Asks before the program ends; OK ends it at once.
    void confirmQuit();

    Ui::MainWindow *form() const { return ui.get(); }
    ChannelGuide *guide() const { return m_guide; }
    ListPage *listPage() const { return m_listPage; }
    HomePageOffer *homePageOffer() const { return m_homePage; }
    VersionCheck *versionCheck() const { return m_versionCheck; }
    const std::array<QLabel *, 4> &infoLabels() const { return m_infoLabels; }
    QString vendorSite() const { return m_vendorSite; }
    WindowBehaviour *windowBehaviour() const { return m_behaviour; }

    // What "end the program" does once the user has confirmed; tests replace
    // it so the test process survives.
    void setProgramEnder(std::function<void()> ender) { m_ender = std::move(ender); }

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

private:
    void fillInfoLabels();
    void startViews();
    void reportVersion(VersionCheck::Verdict verdict);
    void finishStartup();
    void openInBrowser(const QString &url);
    void openFeedbackPage();
    void markFeedbackLink();

    std::unique_ptr<Ui::MainWindow> ui;
    QString m_vendorSite;
    std::array<QLabel *, 4> m_infoLabels {};
    ListPage *m_listPage = nullptr;
    ChannelGuide *m_guide = nullptr;
    std::unique_ptr<Prompt> m_prompt;
    HomePageOffer *m_homePage = nullptr;
    VersionCheck *m_versionCheck = nullptr;
    bool m_askingToQuit = false;
    std::function<void()> m_ender;
    WindowBehaviour *m_behaviour = nullptr;
};
