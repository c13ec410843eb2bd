#include "noticeview.h"

#include "net/weburl.h"
#include "silentpage.h"

#include <QDesktopServices>
#include <QTimer>

namespace {

// Stands in for the window a link asked for: takes its first address to the
// system browser and goes away without ever being shown.
class BrowserHandoffPage : public QWebEnginePage {
public:
    explicit BrowserHandoffPage(QWebEngineProfile *profile, QObject *parent)
        : QWebEnginePage(profile, parent)
    {
        // window.open() with no address never navigates anywhere.
        QTimer::singleShot(10000, this, &QObject::deleteLater);
    }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool) override
    {
        if (m_handedOff)
            return false;
        m_handedOff = true;
        if (WebUrl::isWebAddress(url))
            QDesktopServices::openUrl(url);
        deleteLater();
        return false;
    }

private:
    bool m_handedOff = false;
};

class NoticePage : public SilentPage {
public:
    using SilentPage::SilentPage;

protected:
    QWebEnginePage *createWindow(WebWindowType) override
    {
        return new BrowserHandoffPage(profile(), this);
    }
};

} // namespace

NoticeView::NoticeView(QWidget *parent) : QWebEngineView(parent)
{
    setPage(new NoticePage(this));
}
