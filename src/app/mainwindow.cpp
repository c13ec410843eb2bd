#include "mainwindow.h"

#include "ui_mainwindow.h"

#include "appinfo.h"
#include "desktop/desktopmedia.h"
#include "desktop/mediasession.h"
#include "guide/channelguide.h"
#include "guide/channelmodel.h"
#include "homepage/homepageoffer.h"
#include "prompt/messageboxprompt.h"
#include "typeahead.h"
#include "webview/listpage.h"
#include "webview/playerview.h"
#include "windowbehaviour.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

namespace {
// How long the list may load alone before the player and the notices follow.
constexpr int ListHeadStart = 2000;
} // namespace

MainWindow::MainWindow(ViewerOptions options, QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>()), m_site(options.site),
      m_prompt(
          options.prompt ? std::move(options.prompt) : std::make_shared<MessageBoxPrompt>(this)),
      m_endProgram(std::move(options.endProgram))
{
    ui->setupUi(this);

    ui->tabs->addPage(ui->tabAbout, QStringLiteral("关于程序"));
    ui->tabs->addPage(ui->tabProgram, QStringLiteral("程序界面"));
    ui->tabs->addPage(ui->tabNotices, QStringLiteral("信息公告"));
    ui->tabs->setCurrentIndex(0);
    setTabOrder(ui->tabs, ui->noticeView);
    ui->player->setStreamTimings(options.streamTimings);

    // The list page is never shown, so it needs no view at all.
    m_listPage = new ListPage(QUrl(m_site.channelList()), this);
    m_guide = new ChannelGuide(m_site, this);
    m_guide->setDropLimit(options.streamTimings.dropFailover);
    m_homePage = new HomePageOffer(
        m_site.navigationPage(), std::move(options.startPageStore), m_prompt.get(), this);
    m_versionCheck = new VersionCheck(m_site.versionFile(),
        QStringLiteral("%1.%2").arg(AppInfo::Major).arg(AppInfo::Minor), options.versionWait, this);
    connect(m_versionCheck, &VersionCheck::finished, this, &MainWindow::reportVersion);
    m_behaviour = new WindowBehaviour(this, ui->staysOnTopAction, std::move(options.tray));
    m_desktop = new DesktopMedia(
        QString::fromUtf8(AppInfo::Title), QGuiApplication::desktopFileName(), this);

    wireChannels();
    wireMenus();
    wireDesktop();
    keepFocusAcrossFullScreen();
    // Enter presses the focused button, as Space does.
    for (QPushButton *button : findChildren<QPushButton *>())
        button->installEventFilter(this);

    // Nothing waits in a loop of its own, so leaving the one event loop
    // ends everything, boxes and pending steps included.
    if (!m_endProgram)
        m_endProgram = [] { QCoreApplication::exit(0); };
}

// list page -> guide -> player, and the controls that drive the guide.
void MainWindow::wireChannels()
{
    // The list loads alone; the player's idle page and the notices follow it
    // (before any channel can be picked from it), or a moment later when it
    // is slow.
    connect(m_listPage, &ListPage::listArrived, this, &MainWindow::loadPlayerAndNotices);
    connect(m_listPage, &ListPage::listUnavailable, this, &MainWindow::loadPlayerAndNotices);
    connect(m_listPage, &ListPage::listArrived, m_guide, &ChannelGuide::loadList);
    connect(m_guide, &ChannelGuide::showRequested, ui->player, &PlayerView::navigate);
    connect(m_guide, &ChannelGuide::playRefused, ui->player, &PlayerView::showRefusal);
    // How the source fares decides whether the channel's next row is tried.
    connect(ui->player, &PlayerView::sourcePlaying, m_guide, &ChannelGuide::sourcePlaying);
    connect(ui->player, &PlayerView::sourceDropped, m_guide, &ChannelGuide::sourceDropped);
    connect(ui->player, &PlayerView::sourceFailed, m_guide, &ChannelGuide::sourceFailed);
    // Page Up and Page Down from the fullscreen player step the channel too.
    connect(ui->player, &PlayerView::channelStepRequested, m_guide, &ChannelGuide::step);
    connect(m_guide, &ChannelGuide::captionChanged, ui->channelFrame, &QGroupBox::setTitle);
    // The loader shows the window every time it runs, hidden or in the tray.
    connect(m_guide, &ChannelGuide::listLoaded, this, &QWidget::show);

    // The list shows the guide's channels and its selection, the current channel.
    ui->channelList->setModel(m_guide->model());
    QItemSelectionModel *viewSelection = ui->channelList->selectionModel();
    ui->channelList->setSelectionModel(m_guide->selectionModel());
    delete viewSelection;

    new TypeAhead(ui->channelList, ui->typedText, m_guide);

    connect(ui->watchButton, &QPushButton::clicked, m_guide, &ChannelGuide::playSelected);
    connect(ui->nextButton, &QPushButton::clicked, m_guide, &ChannelGuide::next);
    connect(ui->previousButton, &QPushButton::clicked, m_guide, &ChannelGuide::previous);
    connect(ui->stopButton, &QPushButton::clicked, m_guide, &ChannelGuide::stop);
    connect(
        ui->channelList, &QAbstractItemView::doubleClicked, m_guide, &ChannelGuide::playSelected);
    // Enter on a name plays it.
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *enter = new QShortcut(
            QKeySequence(key), ui->channelList, nullptr, nullptr, Qt::WidgetShortcut);
        connect(enter, &QShortcut::activated, m_guide, &ChannelGuide::playSelected);
    }
    // Page Up and Page Down step through the channels while the list is on screen.
    for (const int step : {-1, +1}) {
        auto *key = new QShortcut(QKeySequence(step < 0 ? Qt::Key_PageUp : Qt::Key_PageDown), this);
        connect(key, &QShortcut::activated, m_guide, [this, step] {
            if (ui->channelList->isVisible())
                m_guide->step(step);
        });
    }
}

void MainWindow::wireMenus()
{
    connect(ui->refreshAction, &QAction::triggered, m_guide, &ChannelGuide::clear);
    connect(ui->refreshAction, &QAction::triggered, m_listPage, &ListPage::refresh);
    connect(ui->noticesAction, &QAction::triggered, this, [this] { ui->tabs->setCurrentIndex(2); });
    connect(ui->aboutAction, &QAction::triggered, this, [this] { ui->tabs->setCurrentIndex(0); });
    connect(
        ui->supportAction, &QAction::triggered, m_homePage, &HomePageOffer::setStartPageAndThank);
    connect(
        ui->staysOnTopAction, &QAction::triggered, m_behaviour, &WindowBehaviour::toggleStaysOnTop);
    connect(ui->quitAction, &QAction::triggered, this, &QWidget::close);
    connect(ui->closeButton, &QPushButton::clicked, this, &QWidget::close);
    const auto openFeedback = [this] { openInBrowser(m_site.feedback()); };
    connect(ui->feedbackAction, &QAction::triggered, this, openFeedback);
    connect(ui->feedbackLink, &ClickableLabel::clicked, this, openFeedback);
    connect(ui->logo, &ClickableLabel::clicked, this, [this] { openInBrowser(m_site.home()); });
    connect(ui->feedbackLink, &ClickableLabel::mouseMoved, this, &MainWindow::markFeedbackLink);
}

// The desktop's media controls and the media keys drive the guide; the
// guide, the player and the window tell them what plays, and where.
void MainWindow::wireDesktop()
{
    MediaSession *session = m_desktop->session();
    session->followChannels(m_guide->model());
    connect(m_guide, &ChannelGuide::nowPlaying, session, &MediaSession::setChannel);
    connect(m_guide, &ChannelGuide::channelEnded, session, &MediaSession::channelEnded);
    connect(
        m_behaviour, &WindowBehaviour::onScreenChanged, session, &MediaSession::setWindowOnScreen);
    connect(session, &MediaSession::playSelectedRequested, m_guide, &ChannelGuide::playSelected);
    connect(session, &MediaSession::stopRequested, m_guide, &ChannelGuide::stop);
    // As Page Up and Down: fullscreen stays fullscreen.
    connect(
        session, &MediaSession::nextRequested, ui->player, [this] { ui->player->stepChannel(+1); });
    connect(session, &MediaSession::previousRequested, ui->player,
        [this] { ui->player->stepChannel(-1); });
    connect(m_desktop, &DesktopMedia::raiseRequested, this, &MainWindow::bringToFront);
}

// Back from fullscreen the player's page would keep every key (Tab, Space,
// the arrows); the keyboard goes back to the control that had it before.
void MainWindow::keepFocusAcrossFullScreen()
{
    const auto inPlayer
        = [this](QWidget *w) { return w == ui->player || ui->player->isAncestorOf(w); };
    // Not when the keyboard falls out of the player as it goes fullscreen.
    connect(qApp, &QApplication::focusChanged, this, [this, inPlayer](QWidget *old, QWidget *now) {
        if (now && now->window() == this && !inPlayer(now) && !(old && inPlayer(old)))
            m_lastControl = now;
    });
    connect(ui->player, &PlayerView::fullScreenChanged, this, [this](bool on) {
        // Leaving, Qt may hand the keyboard to the first control it finds.
        if (on) {
            m_controlBeforeFullScreen = m_lastControl;
            return;
        }
        QWidget *control = m_controlBeforeFullScreen;
        if (!control || !control->isVisible() || !control->isEnabled())
            control = ui->channelList;
        control->setFocus(Qt::OtherFocusReason);
    });
}

MainWindow::~MainWindow() = default;

void MainWindow::start()
{
    hide();
    // Centred by its outer size, frame and title bar included.
    m_behaviour->centreOnScreen();
    fillInfoLabels();
    emit startupStep(Step::Prepared);

    startViews();
    emit startupStep(Step::ViewsStarted);

    m_homePage->offerAtStartup([this] {
        emit startupStep(Step::OfferDone);
        // Only now: the list's arrival shows the window, which must not
        // happen while the offer is still asking.
        m_listPage->fetch();
        QTimer::singleShot(ListHeadStart, this, &MainWindow::loadPlayerAndNotices);
        emit startupStep(Step::ListRequested);
        m_versionCheck->start();
    });
}

void MainWindow::reportVersion(VersionCheck::Verdict verdict)
{
    switch (verdict) {
    case VersionCheck::Verdict::Current:
        finishStartup();
        return;
    case VersionCheck::Verdict::Unreachable:
        m_prompt->ask({QStringLiteral("您所处的网络环境不稳定,无法正常体验。"),
                          QStringLiteral("提示"), Question::Buttons::Ok, true},
            this, [this](Answer) { finishStartup(); });
        return;
    case VersionCheck::Verdict::Outdated:
        m_prompt->ask({QStringLiteral("您使用的版本已过期,建议下载最新版本。"),
                          QStringLiteral("提示"), Question::Buttons::Ok, true},
            this, [this](Answer) {
                openInBrowser(m_site.home());
                finishStartup();
            });
        return;
    }
}

void MainWindow::finishStartup()
{
    emit startupStep(Step::VersionChecked);
    show();
}

void MainWindow::fillInfoLabels()
{
    ui->titleLabel->setText(QStringLiteral("名称 ") + QString::fromUtf8(AppInfo::Title));
    ui->versionLabel->setText(QStringLiteral("版本 %1.%2.%3")
                                  .arg(AppInfo::Major)
                                  .arg(AppInfo::Minor)
                                  .arg(AppInfo::Revision));
    ui->functionLabel->setText(QStringLiteral("功能 免费在线观看电视."));
    ui->designLabel->setText(QStringLiteral("设计 栎川软件工作室"));
    ui->homePageLabel->setText(QStringLiteral("主页 ") + m_site.home());
    ui->mailLabel->setText(QStringLiteral("邮件 ") + QString::fromUtf8(AppInfo::ContactMail));
}

void MainWindow::startViews()
{
    m_listPage->warmUp();
}

void MainWindow::loadPlayerAndNotices()
{
    if (m_playerAndNoticesLoaded)
        return;
    m_playerAndNoticesLoaded = true;
    ui->noticeView->load(QUrl(m_site.notices()));
    m_guide->stop();
}

void MainWindow::openInBrowser(const QString &url)
{
    // Whether a browser opened is not the viewer's concern.
    QDesktopServices::openUrl(QUrl(url));
}

void MainWindow::markFeedbackLink()
{
    // Once pointed at, the link stays red for the rest of the run.
    QPalette p = ui->feedbackLink->palette();
    p.setColor(QPalette::WindowText, QColor(0xff, 0x00, 0x00));
    ui->feedbackLink->setPalette(p);
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        m_behaviour->windowStateChanged();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Every way of closing asks first; the answer decides later.
    event->ignore();
    confirmQuit();
}

void MainWindow::bringToFront()
{
    m_behaviour->bringToFront();
}

void MainWindow::confirmQuit()
{
    // One question at a time; a second request while it is open is refused.
    if (m_askingToQuit)
        return;
    m_askingToQuit = true;
    m_prompt->ask({QStringLiteral("您确定要退出程序吗?"), QStringLiteral("退出提示"),
                      Question::Buttons::OkCancel, true},
        this, [this](Answer answer) {
            m_askingToQuit = false;
            if (answer == Answer::Ok)
                m_endProgram();
        });
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    m_behaviour->resized();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !key->isAutoRepeat()
            && !(key->modifiers() & ~Qt::KeypadModifier)) {
            if (auto *button = qobject_cast<QPushButton *>(watched)) {
                button->click();
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::showEvent(QShowEvent *event)
{
    m_behaviour->applyFixedSize();
    QMainWindow::showEvent(event);
}
