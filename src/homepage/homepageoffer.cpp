#include "homepageoffer.h"

#include "app/msgbox.h"

#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>

namespace {

const char *const OfferText
    = "请点击[确定]按钮已表示您对栎川软件的支持,它将会修改浏览器主页为[栎川上网导航],"
      "更好的为您服务.";
const char *const ThanksText = "感谢您对栎川软件的支持,栎川软件有您而精彩.";
const char *const DeclinedText
    = "您未支持栎川软件开发,[支持提示]会在下次使用时显示,软件无任何限制,可正常使用.";
const char *const BoxTitle = "提示";

// One QSettings per call, so every read sees what other programs wrote
// meanwhile and every write reports its own outcome.
class SettingsStore : public StartPageStore {
public:
    SettingsStore(QString path, QSettings::Format format, QString group)
        : m_path(std::move(path)), m_format(format), m_group(std::move(group))
    {
    }

    std::optional<QString> read() override
    {
        QSettings s(m_path, m_format);
        if (s.status() != QSettings::NoError)
            return std::nullopt;
        if (!m_group.isEmpty())
            s.beginGroup(m_group);
        const QVariant v = s.value(QStringLiteral("Start page"));
        if (!v.isValid())
            return std::nullopt;
        // An unquoted comma in a hand-edited file reads back as a list.
        if (v.typeId() == QMetaType::QStringList)
            return v.toStringList().join(u',');
        if (!v.canConvert<QString>())
            return std::nullopt;
        return v.toString();
    }

    bool write(const QString &text) override
    {
        QSettings s(m_path, m_format);
        if (!s.isWritable())
            return false;
        if (!m_group.isEmpty())
            s.beginGroup(m_group);
        s.setValue(QStringLiteral("Start page"), text);
        s.sync();
        return s.status() == QSettings::NoError;
    }

private:
    QString m_path;
    QSettings::Format m_format;
    QString m_group;
};

} // namespace

HomePageOffer::HomePageOffer(
    QWidget *parent, const QString &vendorSite, StartPageStoreFactory factory)
    : m_parent(parent), m_vendorSite(vendorSite), m_factory(std::move(factory))
{
}

HomePageOffer::~HomePageOffer() = default;

QString HomePageOffer::targetText() const
{
    return m_vendorSite + QStringLiteral("/dh.htm");
}

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
        s->write(targetText());
}

void HomePageOffer::offerAtStartup()
{
    if (MsgBox::programEnding())
        return;
    if (readStartPage() == targetText())
        return;

    const int answer = MsgBox::show(
        m_parent, QString::fromUtf8(OfferText), MsgBox::OkCancel, QString::fromUtf8(BoxTitle));
    if (MsgBox::programEnding())
        return;
    if (answer == MsgBox::Ok) {
        MsgBox::show(
            m_parent, QString::fromUtf8(ThanksText), MsgBox::OkOnly, QString::fromUtf8(BoxTitle));
        if (MsgBox::programEnding())
            return;
        writeStartPage();
    } else {
        MsgBox::show(
            m_parent, QString::fromUtf8(DeclinedText), MsgBox::OkOnly, QString::fromUtf8(BoxTitle));
    }
}

void HomePageOffer::offerFromMenu()
{
    if (MsgBox::programEnding())
        return;
    if (readStartPage() != targetText())
        writeStartPage();
    MsgBox::show(
        m_parent, QString::fromUtf8(ThanksText), MsgBox::OkOnly, QString::fromUtf8(BoxTitle));
}

StartPageStoreFactory systemStartPageStore()
{
    return []() -> std::unique_ptr<StartPageStore> {
#ifdef Q_OS_WIN
        return std::make_unique<SettingsStore>(
            QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main"),
            QSettings::NativeFormat, QString());
#else
        // No registry here: the same per-user path is kept in
        // $XDG_CONFIG_HOME/lichuantv/registry.ini (~/.config/... by default),
        // group "HKEY_CURRENT_USER/Software/Microsoft/Internet Explorer/Main",
        // value "Start page" as a string.
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        if (dir.isEmpty())
            return nullptr;
        return std::make_unique<SettingsStore>(dir + QStringLiteral("/lichuantv/registry.ini"),
            QSettings::IniFormat,
            QStringLiteral("HKEY_CURRENT_USER/Software/Microsoft/Internet Explorer/Main"));
#endif
    };
}
