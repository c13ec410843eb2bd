#include "tabcontrol.h"

#include <QPainter>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

namespace {

// Tabs as high as the window design's strip, whatever height the style
// would give them.
class StripTabBar : public QTabBar {
public:
    using QTabBar::QTabBar;

protected:
    QSize tabSizeHint(int index) const override
    {
        return QSize(QTabBar::tabSizeHint(index).width(), TabControl::StripHeight);
    }
    QSize minimumTabSizeHint(int index) const override
    {
        return QSize(QTabBar::minimumTabSizeHint(index).width(), TabControl::StripHeight);
    }
};

} // namespace

TabControl::TabControl(QWidget *parent) : QWidget(parent), m_bar(new StripTabBar(this))
{
    m_bar->setDrawBase(false);
    m_bar->setExpanding(false);
    m_bar->setUsesScrollButtons(false);
    setFocusProxy(m_bar);
    connect(m_bar, &QTabBar::currentChanged, this, [this](int index) {
        showPage(index);
        emit currentChanged(index);
    });
}

void TabControl::addPage(QWidget *page, const QString &caption)
{
    page->setParent(this);
    page->setGeometry(rect());
    page->setAutoFillBackground(false);
    m_pages.append(page);
    m_bar->addTab(caption);
    layoutBar();
    showPage(m_bar->currentIndex());
}

int TabControl::currentIndex() const
{
    return m_bar->currentIndex();
}

void TabControl::setCurrentIndex(int index)
{
    if (index >= 0 && index < m_pages.size())
        m_bar->setCurrentIndex(index);
}

void TabControl::showPage(int index)
{
    // Pages that are not in front are hidden, never destroyed: a channel
    // keeps playing while another page is shown.
    for (int i = 0; i < m_pages.size(); ++i)
        m_pages[i]->setVisible(i == index);
    m_bar->raise();
}

void TabControl::layoutBar()
{
    const QSize hint = m_bar->sizeHint();
    m_bar->setGeometry(0, 0, qMin(hint.width(), width()), hint.height());
    m_bar->raise();
}

void TabControl::resizeEvent(QResizeEvent *)
{
    for (QWidget *page : std::as_const(m_pages))
        page->setGeometry(rect());
    layoutBar();
}

void TabControl::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    QStyleOptionTabWidgetFrame opt;
    opt.initFrom(this);
    opt.shape = QTabBar::RoundedNorth;
    opt.tabBarSize = m_bar->size();
    opt.tabBarRect = m_bar->geometry();
    opt.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int overlap = style()->pixelMetric(QStyle::PM_TabBarBaseOverlap, nullptr, this);
    opt.rect = rect().adjusted(0, m_bar->height() - overlap, 0, 0);
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &opt, &p, this);
}
