#include "homepageoffer.h"

#include "prompt/prompt.h"

namespace {

const char *const OfferText
    = "请点击[确定]按钮已表示您对栎川软件的支持,它将会修改浏览器主页为[栎川上网导航],"
      "更好的为您服务.";
const char *const ThanksText = "感谢您对栎川软件的支持,栎川软件有您而精彩.";
const char *const DeclinedText
    = "您未支持栎川软件开发,[支持提示]会在下次使用时显示,软件无任何限制,可正常使用.";
const char *const BoxTitle = "提示";

} // namespace

HomePageOffer::HomePageOffer(
    const QString &navigationPage, StartPageStoreFactory factory, Prompt *prompt, QObject *parent)
    : QObject(parent), m_navigationPage(navigationPage), m_factory(std::move(factory)),
      m_prompt(prompt)
{
}

HomePageOffer::~HomePageOffer() = default;

StartPageStore *HomePageOffer::store()
{
    // A store that could not be opened is tried again at the next use.
    if (!m_store && m_factory)
        m_store = m_factory();
    return m_store.get();
}

QString HomePageOffer::readStartPage()
{
    StartPageStore *s = store();
    if (!s)
        return {};
    return s->read().value_or(QString());
}

void HomePageOffer::writeStartPage()
{
    if (StartPageStore *s = store())
        s->write(m_navigationPage);
}

static Question plainBox(const char *text, Question::Buttons buttons = Question::Buttons::Ok)
{
    return Question {QString::fromUtf8(text), QString::fromUtf8(BoxTitle), buttons, false};
}

void HomePageOffer::offerAtStartup(std::function<void()> done)
{
    if (readStartPage() == m_navigationPage) {
        QMetaObject::invokeMethod(this, std::move(done), Qt::QueuedConnection);
        return;
    }
    m_prompt->ask(plainBox(OfferText, Question::Buttons::OkCancel), this,
        [this, done = std::move(done)](Answer answer) {
            if (answer == Answer::Ok) {
                // Thanked first; written once the thanks are closed.
                m_prompt->ask(plainBox(ThanksText), this, [this, done](Answer) {
                    writeStartPage();
                    done();
                });
            } else {
                m_prompt->ask(plainBox(DeclinedText), this, [done](Answer) { done(); });
            }
        });
}

void HomePageOffer::setStartPageAndThank()
{
    if (readStartPage() != m_navigationPage)
        writeStartPage();
    m_prompt->ask(plainBox(ThanksText), this, [](Answer) {});
}
