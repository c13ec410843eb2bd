#include "frmhome.h"

#include "ui_frmhome.h"

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

frmhome::frmhome(const QString &vendorSite, StartPageStoreFactory startPageStore, QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::frmhome>()), m_vendorSite(vendorSite)
{
    initResources();
    ui->setupUi(this);
    m_lblmsg1 = {ui->lblmsg1_0, ui->lblmsg1_1, ui->lblmsg1_2, ui->lblmsg1_3};

    ui->SSTab1->addPage(ui->tabAbout, QStringLiteral("关于程序"));
    ui->SSTab1->addPage(ui->tabProgram, QStringLiteral("程序界面"));
    ui->SSTab1->addPage(ui->tabNotices, QStringLiteral("信息公告"));
    ui->SSTab1->setTab(0);
    setTabOrder(ui->SSTab1, ui->WebBrowser1);

    // The list page is never shown, so it needs no view at all.
    m_listPage = new ListPage(viewerProfile(), this);

    m_guide = new ChannelGuide({this, ui->lsttv, ui->lsttvurl, ui->Frame2, m_listPage,
                                ui->WebBrowsertv},
                               m_vendorSite, this);
    m_homePage = std::make_unique<HomePageOffer>(this, m_vendorSite, std::move(startPageStore));

    connect(ui->cmdopen, &QPushButton::clicked, m_guide, &ChannelGuide::cmdopen_Click);
    connect(ui->cmdUp, &QPushButton::clicked, m_guide, &ChannelGuide::cmdUp_Click);
    connect(ui->cmdDown, &QPushButton::clicked, m_guide, &ChannelGuide::cmdDown_Click);
    connect(ui->cmdstop, &QPushButton::clicked, m_guide, &ChannelGuide::cmdstop_Click);
    connect(ui->M_list, &QAction::triggered, m_guide, &ChannelGuide::M_list_Click);
    connect(ui->M_msg, &QAction::triggered, this, [this] { ui->SSTab1->setTab(2); });
    connect(ui->M_about, &QAction::triggered, this, [this] { ui->SSTab1->setTab(0); });
    connect(ui->M_Ct, &QAction::triggered, this, [this] { m_homePage->M_Ct_Click(); });

    m_behaviour = new WindowBehaviour(this, ui->M_ckzd);
    connect(ui->M_ckzd, &QAction::triggered, m_behaviour, &WindowBehaviour::M_ckzd_Click);
    connect(ui->M_exit, &QAction::triggered, this, &QWidget::close);
    connect(ui->Command1, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->M_lblbook, &QAction::triggered, this, &frmhome::lblfeedback_Click);
    connect(ui->Image1, &ClickableLabel::clicked, this, [this] { openInBrowser(m_vendorSite); });
    connect(ui->lblfeedback, &ClickableLabel::clicked, this, &frmhome::lblfeedback_Click);
    connect(ui->lblfeedback, &ClickableLabel::mouseMoved, this, &frmhome::lblfeedback_MouseMove);

    m_ender = [] {
        MsgBox::setProgramEnding();
        QCoreApplication::exit(0);
    };
}

frmhome::~frmhome() = default;

void frmhome::Form_Load()
{
    hide();

    // Centred by its outer size, frame and title bar included.
    m_behaviour->centreOnScreen();

    ui->lbltitle->setText(QStringLiteral("名称 ") + QString::fromUtf8(AppInfo::Title));
    ui->lblversion->setText(QStringLiteral("版本 %1.%2.%3")
                                .arg(AppInfo::Major)
                                .arg(AppInfo::Minor)
                                .arg(AppInfo::Revision));
    m_lblmsg1[0]->setText(QStringLiteral("功能 免费在线观看电视."));
    m_lblmsg1[1]->setText(QStringLiteral("设计 栎川软件工作室"));
    m_lblmsg1[2]->setText(QStringLiteral("主页 ") + m_vendorSite);
    m_lblmsg1[3]->setText(QStringLiteral("邮件 ") + QString::fromUtf8(AppInfo::ContactMail));
    emit startupStep(Step::Prepared);

    ui->WebBrowser1->Navigate(QUrl(m_vendorSite + QStringLiteral("/msg.htm")));
    ui->WebBrowsertv->Navigate(QUrl(m_guide->stopPageUrl()));
    m_listPage->Navigate(QUrl(QStringLiteral("about:blank")));
    emit startupStep(Step::ViewsStarted);

    m_homePage->startupPath();
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

void frmhome::openInBrowser(const QString &url)
{
    // Whether a browser opened is not the viewer's concern.
    QDesktopServices::openUrl(QUrl(url));
}

void frmhome::lblfeedback_Click()
{
    openInBrowser(m_vendorSite + QStringLiteral("/writebook.asp"));
}

void frmhome::lblfeedback_MouseMove()
{
    // Once pointed at, the link stays red for the rest of the run.
    QPalette p = ui->lblfeedback->palette();
    p.setColor(QPalette::WindowText, QColor(0xff, 0x00, 0x00));
    ui->lblfeedback->setPalette(p);
}

void frmhome::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        m_behaviour->windowStateChanged();
}

void frmhome::closeEvent(QCloseEvent *event)
{
    // Form_QueryUnload: every way of closing asks first.
    if (!m_behaviour->Form_QueryUnload()) {
        event->ignore();
        return;
    }
    if (m_ender)
        m_ender();
    event->accept();
}

void frmhome::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    m_behaviour->resized();
}

void frmhome::showEvent(QShowEvent *event)
{
    m_behaviour->applyFixedSize();
    QMainWindow::showEvent(event);
}
