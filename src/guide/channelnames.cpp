#include "channelnames.h"

namespace ChannelNames {

namespace {

bool isHyphen(char16_t c)
{
    // Hyphen-minus, hyphen, non-breaking hyphen, figure dash, en dash, minus:
    // the ones lists write between a name and its number.
    return c == u'-' || (c >= 0x2010 && c <= 0x2013) || c == 0x2212;
}

} // namespace

QString key(QStringView name)
{
    // Compatibility forms first: "ＣＣＴＶ－５" becomes "CCTV-5", the
    // ideographic space a space.
    const QString folded = name.toString().normalized(QString::NormalizationForm_KC).toCaseFolded();
    QString out;
    out.reserve(folded.size());
    for (const QChar c : folded) {
        if (!c.isSpace() && !isHyphen(c.unicode()))
            out += c;
    }
    return out;
}

QList<int> sourcesFrom(const QStringList &keys, int row)
{
    if (row < 0 || row >= keys.size())
        return {};
    const QString &wanted = keys.at(row);
    QList<int> rows;
    const int count = int(keys.size());
    for (int i = 0; i < count; ++i) {
        const int at = (row + i) % count;
        if (keys.at(at) == wanted)
            rows.append(at);
    }
    return rows;
}

} // namespace ChannelNames
