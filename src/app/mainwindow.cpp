#include "mainwindow.h"

#include "ui_mainwindow.h"

#include "appinfo.h"
#include "guide/channelguide.h"
#include "guide/channelmodel.h"
#include "homepage/homepageoffer.h"
#include "prompt/messageboxprompt.h"
#include "webview/listpage.h"
#include "windowbehaviour.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QItemSelectionModel>
#include <QScreen>
#include <QShortcut>
#include <QUrl>

// The images live in the static core library, where nothing registers them
// on its own.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

MainWindow::MainWindow(const QString &vendorSite, StartPageStoreFactory startPageStore,
    std::unique_ptr<Prompt> prompt, QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>()), m_vendorSite(vendorSite),
      m_prompt(prompt ? std::move(prompt) : std::make_unique<MessageBoxPrompt>(this))
{
    initResources();
    ui->setupUi(this);
    m_infoLabels = {ui->functionLabel, ui->designLabel, ui->homePageLabel, ui->mailLabel};

    ui->tabs->addPage(ui->tabAbout, QStringLiteral("关于程序"));
    ui->tabs->addPage(ui->tabProgram, QStringLiteral("程序界面"));
    ui->tabs->addPage(ui->tabNotices, QStringLiteral("信息公告"));
    ui->tabs->setCurrentIndex(0);
    setTabOrder(ui->tabs, ui->noticeView);

    // The list page is never shown, so it needs no view at all.
    m_listPage = new ListPage(viewerProfile(), this);

    m_guide = new ChannelGuide(m_listPage, ui->player, m_vendorSite, this);
    // The list shows the guide's channels and its selection, the current channel.
    ui->channelList->setModel(m_guide->model());
    QItemSelectionModel *viewSelection = ui->channelList->selectionModel();
    ui->channelList->setSelectionModel(m_guide->selectionModel());
    delete viewSelection;
    m_homePage = new HomePageOffer(m_vendorSite, std::move(startPageStore), m_prompt.get(), this);
    m_versionCheck = new VersionCheck(
        m_vendorSite, QStringLiteral("%1.%2").arg(AppInfo::Major).arg(AppInfo::Minor), this);
    connect(m_versionCheck, &VersionCheck::finished, this, &MainWindow::reportVersion);

    connect(ui->watchButton, &QPushButton::clicked, m_guide, &ChannelGuide::playSelected);
    connect(ui->nextButton, &QPushButton::clicked, m_guide, &ChannelGuide::next);
    connect(ui->previousButton, &QPushButton::clicked, m_guide, &ChannelGuide::previous);
    connect(ui->stopButton, &QPushButton::clicked, m_guide, &ChannelGuide::stop);
    connect(ui->refreshAction, &QAction::triggered, m_guide, &ChannelGuide::refresh);
    connect(
        ui->channelList, &QAbstractItemView::doubleClicked, m_guide, &ChannelGuide::playSelected);
    // Enter on a name plays it.
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *enter = new QShortcut(
            QKeySequence(key), ui->channelList, nullptr, nullptr, Qt::WidgetShortcut);
        connect(enter, &QShortcut::activated, m_guide, &ChannelGuide::playSelected);
    }
    // Page Up and Page Down step through the channels while the list is on screen.
    auto *pageUp = new QShortcut(QKeySequence(Qt::Key_PageUp), this);
    connect(pageUp, &QShortcut::activated, m_guide, [this] {
        if (ui->channelList->isVisible())
            m_guide->previous();
    });
    auto *pageDown = new QShortcut(QKeySequence(Qt::Key_PageDown), this);
    connect(pageDown, &QShortcut::activated, m_guide, [this] {
        if (ui->channelList->isVisible())
            m_guide->next();
    });
    connect(m_guide, &ChannelGuide::captionChanged, ui->channelFrame, &QGroupBox::setTitle);
    // The loader shows the window every time it runs, hidden or in the tray.
    connect(m_guide, &ChannelGuide::listLoaded, this, &QWidget::show);
    connect(ui->noticesAction, &QAction::triggered, this, [this] { ui->tabs->setCurrentIndex(2); });
    connect(ui->aboutAction, &QAction::triggered, this, [this] { ui->tabs->setCurrentIndex(0); });
    connect(ui->supportAction, &QAction::triggered, this, [this] { m_homePage->offerFromMenu(); });

    m_behaviour = new WindowBehaviour(this, ui->staysOnTopAction);
    connect(
        ui->staysOnTopAction, &QAction::triggered, m_behaviour, &WindowBehaviour::toggleStaysOnTop);
    connect(ui->quitAction, &QAction::triggered, this, &QWidget::close);
    connect(ui->closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->feedbackAction, &QAction::triggered, this, &MainWindow::openFeedbackPage);
    connect(ui->logo, &ClickableLabel::clicked, this, [this] { openInBrowser(m_vendorSite); });
    connect(ui->feedbackLink, &ClickableLabel::clicked, this, &MainWindow::openFeedbackPage);
    connect(ui->feedbackLink, &ClickableLabel::mouseMoved, this, &MainWindow::markFeedbackLink);

    // Nothing waits in a loop of its own, so leaving the one event loop
    // ends everything, boxes and pending steps included.
    m_ender = [] { QCoreApplication::exit(0); };
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
        m_listPage->load(QUrl(m_guide->listUrl()));
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
                openInBrowser(m_vendorSite);
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
    m_infoLabels[0]->setText(QStringLiteral("功能 免费在线观看电视."));
    m_infoLabels[1]->setText(QStringLiteral("设计 栎川软件工作室"));
    m_infoLabels[2]->setText(QStringLiteral("主页 ") + m_vendorSite);
    m_infoLabels[3]->setText(QStringLiteral("邮件 ") + QString::fromUtf8(AppInfo::ContactMail));
}

void MainWindow::startViews()
{
    ui->noticeView->load(QUrl(m_vendorSite + QStringLiteral("/msg.htm")));
    ui->player->navigate(QUrl(m_guide->stopPageUrl()));
    m_listPage->load(QUrl(QStringLiteral("about:blank")));
}

void MainWindow::openInBrowser(const QString &url)
{
    // Whether a browser opened is not the viewer's concern.
    QDesktopServices::openUrl(QUrl(url));
}

void MainWindow::openFeedbackPage()
{
    openInBrowser(m_vendorSite + QStringLiteral("/writebook.asp"));
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
            if (answer == Answer::Ok && m_ender)
                m_ender();
        });
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    m_behaviour->resized();
}

void MainWindow::showEvent(QShowEvent *event)
{
    m_behaviour->applyFixedSize();
    QMainWindow::showEvent(event);
}
