#include "listpage.h"

#include <QWebEngineHttpRequest>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

ListPage::ListPage(const QUrl &listUrl, QObject *parent) : SilentPage(parent), m_listUrl(listUrl)
{
    // A plain text document is kept out of layout; innerText of a body that
    // is not rendered is its text content, line breaks included.
    QWebEngineScript noLayout;
    noLayout.setName(QStringLiteral("list-no-layout"));
    noLayout.setInjectionPoint(QWebEngineScript::DocumentCreation);
    noLayout.setWorldId(QWebEngineScript::ApplicationWorld);
    noLayout.setRunsOnSubFrames(false);
    noLayout.setSourceCode(QStringLiteral(R"(
(function () {
    if (document.contentType !== 'text/plain')
        return;
    var sheet = new CSSStyleSheet();
    sheet.replaceSync('html { display: none !important; }');
    document.adoptedStyleSheets = [sheet];
})();
)"));
    scripts().insert(noLayout);
    connect(this, &QWebEnginePage::loadStarted, this, [this] { ++m_generation; });
    connect(this, &QWebEnginePage::loadFinished, this, &ListPage::loaded);
}

void ListPage::warmUp()
{
    load(QUrl(QStringLiteral("about:blank")));
}

void ListPage::fetch()
{
    load(m_listUrl);
}

void ListPage::refresh()
{
    // An update must show what the site holds now.
    QWebEngineHttpRequest request {m_listUrl};
    request.setHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache"));
    request.setHeader(QByteArrayLiteral("Pragma"), QByteArrayLiteral("no-cache"));
    load(request);
}

void ListPage::loaded(bool ok)
{
    // The warm-up's empty document is nobody's list.
    if (url().scheme() == QLatin1String("about"))
        return;
    if (!ok) {
        emit listUnavailable();
        return;
    }
    const quint64 generation = m_generation;
    readBodyText([this, generation](const QString &text) {
        if (generation != m_generation)
            return;
        if (!text.contains(u';')) {
            emit listUnavailable();
            return;
        }
        emit listArrived(text);
        // The document has been read; nothing of it needs to stay.
        warmUp();
    });
}

void ListPage::readBodyText(const std::function<void(const QString &)> &callback)
{
    runJavaScript(QStringLiteral("document.body ? document.body.innerText : ''"),
        QWebEngineScript::ApplicationWorld,
        [callback](const QVariant &v) { callback(v.toString()); });
}
