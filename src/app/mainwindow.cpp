#include "mainwindow.h"

#include "ui_mainwindow.h"

#include "appinfo.h"
#include "guide/channelguide.h"
#include "homepage/homepageoffer.h"
#include "msgbox.h"
#include "net/module1.h"
#include "webview/listpage.h"
#include "windowbehaviour.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QScreen>
#include <QUrl>

// The images live in the static core library, where nothing registers them
// on its own.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

MainWindow::MainWindow(const QString &vendorSite, StartPageStoreFactory startPageStore, QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>()), m_vendorSite(vendorSite)
{
    initResources();
    ui->setupUi(this);
    m_infoLabels = {ui->functionLabel, ui->designLabel, ui->homePageLabel, ui->mailLabel};

    ui->tabs->addPage(ui->tabAbout, QStringLiteral("关于程序"));
    ui->tabs->addPage(ui->tabProgram, QStringLiteral("程序界面"));
    ui->tabs->addPage(ui->tabNotices, QStringLiteral("信息公告"));
    ui->tabs->setTab(0);
    setTabOrder(ui->tabs, ui->noticeView);

    // The list page is never shown, so it needs no view at all.
    m_listPage = new ListPage(viewerProfile(), this);

    m_guide = new ChannelGuide({this, ui->channelList, ui->urlList, ui->channelFrame, m_listPage,
                                ui->player},
                               m_vendorSite, this);
    m_homePage = std::make_unique<HomePageOffer>(this, m_vendorSite, std::move(startPageStore));

    connect(ui->watchButton, &QPushButton::clicked, m_guide, &ChannelGuide::playSelected);
    connect(ui->nextButton, &QPushButton::clicked, m_guide, &ChannelGuide::next);
    connect(ui->previousButton, &QPushButton::clicked, m_guide, &ChannelGuide::previous);
    connect(ui->stopButton, &QPushButton::clicked, m_guide, &ChannelGuide::stop);
    connect(ui->refreshAction, &QAction::triggered, m_guide, &ChannelGuide::refresh);
    connect(ui->noticesAction, &QAction::triggered, this, [this] { ui->tabs->setTab(2); });
    connect(ui->aboutAction, &QAction::triggered, this, [this] { ui->tabs->setTab(0); });
    connect(ui->supportAction, &QAction::triggered, this, [this] { m_homePage->offerFromMenu(); });

    m_behaviour = new WindowBehaviour(this, ui->staysOnTopAction);
    connect(ui->staysOnTopAction, &QAction::triggered, m_behaviour, &WindowBehaviour::toggleStaysOnTop);
    connect(ui->quitAction, &QAction::triggered, this, &QWidget::close);
    connect(ui->closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->feedbackAction, &QAction::triggered, this, &MainWindow::openFeedbackPage);
    connect(ui->logo, &ClickableLabel::clicked, this, [this] { openInBrowser(m_vendorSite); });
    connect(ui->feedbackLink, &ClickableLabel::clicked, this, &MainWindow::openFeedbackPage);
    connect(ui->feedbackLink, &ClickableLabel::mouseMoved, this, &MainWindow::markFeedbackLink);

    m_ender = [] {
        MsgBox::setProgramEnding();
        QCoreApplication::exit(0);
    };
}

MainWindow::~MainWindow() = default;

void MainWindow::start()
{
    hide();

    // Centred by its outer size, frame and title bar included.
    m_behaviour->centreOnScreen();

    ui->titleLabel->setText(QStringLiteral("名称 ") + QString::fromUtf8(AppInfo::Title));
    ui->versionLabel->setText(QStringLiteral("版本 %1.%2.%3")
                                .arg(AppInfo::Major)
                                .arg(AppInfo::Minor)
                                .arg(AppInfo::Revision));
    m_infoLabels[0]->setText(QStringLiteral("功能 免费在线观看电视."));
    m_infoLabels[1]->setText(QStringLiteral("设计 栎川软件工作室"));
    m_infoLabels[2]->setText(QStringLiteral("主页 ") + m_vendorSite);
    m_infoLabels[3]->setText(QStringLiteral("邮件 ") + QString::fromUtf8(AppInfo::ContactMail));
    emit startupStep(Step::Prepared);

    ui->noticeView->Navigate(QUrl(m_vendorSite + QStringLiteral("/msg.htm")));
    ui->player->Navigate(QUrl(m_guide->stopPageUrl()));
    m_listPage->Navigate(QUrl(QStringLiteral("about:blank")));
    emit startupStep(Step::ViewsStarted);

    m_homePage->offerAtStartup();
    emit startupStep(Step::OfferDone);
    if (MsgBox::programEnding())
        return;

    m_listPage->Navigate(QUrl(m_guide->listUrl()));
    emit startupStep(Step::ListRequested);

    Module1::CheckVersion(this, m_vendorSite);
    emit startupStep(Step::VersionChecked);
    if (MsgBox::programEnding())
        return;

    show();
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
    // confirmQuit: every way of closing asks first.
    if (!m_behaviour->confirmQuit()) {
        event->ignore();
        return;
    }
    if (m_ender)
        m_ender();
    event->accept();
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
