#include "listpage.h"

#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

ListPage::ListPage(QWebEngineProfile *profile, QObject *parent) : SilentPage(profile, parent)
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
}

void ListPage::readBodyText(const std::function<void(const QString &)> &callback)
{
    runJavaScript(QStringLiteral("document.body ? document.body.innerText : ''"),
        QWebEngineScript::ApplicationWorld,
        [callback](const QVariant &v) { callback(v.toString()); });
}
