#include "pagewatch.h"

#include <QFile>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

namespace {

QString resourceText(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The one object the script sees: it only says what it saw.
class Reports : public QObject {
    Q_OBJECT
public:
    explicit Reports(PageWatch *watch) : QObject(watch), m_watch(watch) { }

public slots:
    void shown(const QString &url, const QString &type, const QString &text)
    {
        emit m_watch->shown(QUrl(url), type.toUtf8(), text);
    }
    void streamState(const QString &url, const QString &page, const QString &state)
    {
        emit m_watch->streamState(QUrl(url), page.toULongLong(), state);
    }
    void streamFailure(const QString &url, const QString &page, const QString &what)
    {
        emit m_watch->streamFailure(QUrl(url), page.toULongLong(), what);
    }

private:
    PageWatch *m_watch;
};

} // namespace

PageWatch::PageWatch(QWebEnginePage *page) : QObject(page), m_page(page)
{
    auto *channel = new QWebChannel(this);
    channel->registerObject(QStringLiteral("reports"), new Reports(this));
    page->setWebChannel(channel, QWebEngineScript::ApplicationWorld);

    QWebEngineScript script;
    script.setName(QStringLiteral("lichuan-pagewatch"));
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setRunsOnSubFrames(false);
    // Qt's channel client is only read once a document has something to say.
    script.setSourceCode(QStringLiteral("function lichuanWebChannel() {\n")
        + resourceText(QStringLiteral(":/qtwebchannel/qwebchannel.js"))
        + QStringLiteral("\nreturn QWebChannel;\n}\n")
        + resourceText(QStringLiteral(":/webview/pagewatch.js")));
    page->scripts().insert(script);
}

void PageWatch::lookNow(
    const std::function<void(const QByteArray &, const QString &, bool)> &answer)
{
    m_page->runJavaScript(QStringLiteral("window.lichuanLook ? window.lichuanLook() : null"),
        QWebEngineScript::ApplicationWorld, [answer](const QVariant &seen) {
            const QVariantList list = seen.toList();
            if (list.size() == 3)
                answer(list[0].toString().toUtf8(), list[1].toString(), list[2].toBool());
            else
                answer({}, {}, false);
        });
}

#include "pagewatch.moc"
