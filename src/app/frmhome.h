#pragma once

#include "homepage/startpagestore.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>

namespace Ui {
class frmhome;
}
class QLabel;
class ChannelGuide;
class HomePageOffer;
class ListPage;
class WindowBehaviour;

// The viewer's one window.
class frmhome : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmhome(const QString &vendorSite,
                     StartPageStoreFactory startPageStore = systemStartPageStore(),
                     QWidget *parent = nullptr);
    ~frmhome() override;

    // The whole start-up: prepares the window, starts the three views, runs
    // the home-page offer, starts the list download and checks the version.
    void Form_Load();

    Ui::frmhome *form() const { return ui.get(); }
    ChannelGuide *guide() const { return m_guide; }
    ListPage *WebBrowsertvlist() const { return m_listPage; }
    HomePageOffer *homePageOffer() const { return m_homePage.get(); }
    const std::array<QLabel *, 4> &lblmsg1() const { return m_lblmsg1; }
    QString vendorSite() const { return m_vendorSite; }
    WindowBehaviour *windowBehaviour() const { return m_behaviour; }

    // What "end the program" does once the user has confirmed; tests replace
    // it so the test process survives.
    void setProgramEnder(std::function<void()> ender) { m_ender = std::move(ender); }

    // Start-up steps, for observers that follow its order.
    enum class Step { Prepared, ViewsStarted, OfferDone, ListRequested, VersionChecked };
signals:
    void startupStep(frmhome::Step step);

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void openInBrowser(const QString &url);
    void lblfeedback_Click();
    void lblfeedback_MouseMove();

    std::unique_ptr<Ui::frmhome> ui;
    QString m_vendorSite;
    std::array<QLabel *, 4> m_lblmsg1{};
    ListPage *m_listPage = nullptr;
    ChannelGuide *m_guide = nullptr;
    std::unique_ptr<HomePageOffer> m_homePage;
    std::function<void()> m_ender;
    WindowBehaviour *m_behaviour = nullptr;
};
