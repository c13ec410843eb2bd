#pragma once

// What must hold for any channel list the network sends, checked by the
// fuzzer and, over its corpus and every input it ever broke on, by the tests.

#include "guide/channellist.h"
#include "net/weburl.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QString>

namespace ChannelListCheck {

// The first byte picks how the rest becomes text: UTF-8 (invalid sequences
// included), raw UTF-16 code units (lone surrogates included) or Latin-1.
inline QString decode(const QByteArray &data)
{
    if (data.isEmpty())
        return {};
    const QByteArray rest = data.mid(1);
    switch (static_cast<unsigned char>(data[0]) % 3) {
    case 0:
        return QString::fromUtf8(rest);
    case 1:
        return QString(reinterpret_cast<const QChar *>(rest.constData()), rest.size() / 2);
    default:
        return QString::fromLatin1(rest);
    }
}

inline bool isBreak(QChar c)
{
    return c == u'\r' || c == u'\n';
}

// Empty when parse's answer for text is sound, else what is wrong with it.
inline QString violation(QStringView text)
{
    using namespace ChannelList;
    const ChannelListParse r = parse(text);
    if (r.entries.size() > MaxChannels)
        return QStringLiteral("more than %1 entries").arg(MaxChannels);

    // Every entry is the next line of the text, cut at its first ";".
    qsizetype pos = 0;
    bool atEnd = false;
    for (qsizetype i = 0; i < r.entries.size(); ++i) {
        const ChannelEntry &e = r.entries[i];
        if (atEnd)
            return QStringLiteral("entry %1 lies past the end of the text").arg(i);
        if (e.name.contains(u';'))
            return QStringLiteral("name %1 holds a \";\"").arg(i);
        if (e.name.size() + 1 > MaxSeparatorPosition)
            return QStringLiteral("name %1 is longer than the limit").arg(i);
        for (const QString *part : {&e.name, &e.url})
            for (QChar c : *part)
                if (isBreak(c))
                    return QStringLiteral("entry %1 holds a line break").arg(i);
        const QString line = e.name + u';' + e.url;
        if (!text.sliced(pos).startsWith(line))
            return QStringLiteral("entry %1 is not line %1 of the text").arg(i);
        pos += line.size();
        if (pos == text.size())
            atEnd = true;
        else if (text[pos] == u'\r' && pos + 1 < text.size() && text[pos + 1] == u'\n')
            pos += 2;
        else if (isBreak(text[pos]))
            pos += 1;
        else
            return QStringLiteral("entry %1 stops inside its line").arg(i);

        // Only http and https addresses ever reach the player.
        QString typed = e.url;
        typed.remove(QRegularExpression(QStringLiteral("[\\t\\n\\r]")));
        typed.remove(QRegularExpression(QStringLiteral("^[\\x00-\\x20]+")));
        if (!WebUrl::fromText(e.url).isEmpty()
            && !typed.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
            && !typed.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
            return QStringLiteral("entry %1 would play a non-web address").arg(i);
    }

    // The list ends at the end of the text, at a line without ";", or at a limit.
    if (atEnd)
        return r.hitLimit ? QStringLiteral("a limit reported at the end of the text") : QString();
    qsizetype end = pos;
    while (end < text.size() && !isBreak(text[end]))
        ++end;
    const qsizetype semi = text.sliced(pos, end - pos).indexOf(u';');
    const bool limitDue
        = semi >= 0 && (r.entries.size() == MaxChannels || semi + 1 > MaxSeparatorPosition);
    if (r.hitLimit != limitDue)
        return QStringLiteral("limit reported wrongly after %1 entries").arg(r.entries.size());
    if (semi >= 0 && !limitDue)
        return QStringLiteral("the list stopped before line %1, which holds \";\"")
            .arg(r.entries.size());
    return {};
}

} // namespace ChannelListCheck
