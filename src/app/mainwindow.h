#pragma once

#include "homepage/startpagestore.h"

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
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(const QString &vendorSite,
                     StartPageStoreFactory startPageStore = systemStartPageStore(),
                     QWidget *parent = nullptr);
    ~MainWindow() override;

    // The whole start-up: prepares the window, starts the three views, runs
    // the home-page offer, starts the list download and checks the version.
    void start();

    Ui::MainWindow *form() const { return ui.get(); }
    ChannelGuide *guide() const { return m_guide; }
    ListPage *listPage() const { return m_listPage; }
    HomePageOffer *homePageOffer() const { return m_homePage.get(); }
    const std::array<QLabel *, 4> &infoLabels() const { return m_infoLabels; }
    QString vendorSite() const { return m_vendorSite; }
    WindowBehaviour *windowBehaviour() const { return m_behaviour; }

    // What "end the program" does once the user has confirmed; tests replace
    // it so the test process survives.
    void setProgramEnder(std::function<void()> ender) { m_ender = std::move(ender); }

    // Start-up steps, for observers that follow its order.
    enum class Step { Prepared, ViewsStarted, OfferDone, ListRequested, VersionChecked };
signals:
    void startupStep(MainWindow::Step step);

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void openInBrowser(const QString &url);
    void openFeedbackPage();
    void markFeedbackLink();

    std::unique_ptr<Ui::MainWindow> ui;
    QString m_vendorSite;
    std::array<QLabel *, 4> m_infoLabels{};
    ListPage *m_listPage = nullptr;
    ChannelGuide *m_guide = nullptr;
    std::unique_ptr<HomePageOffer> m_homePage;
    std::function<void()> m_ender;
    WindowBehaviour *m_behaviour = nullptr;
};
