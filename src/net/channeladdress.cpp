#include "channeladdress.h"

#include <QUrl>

#include <algorithm>

namespace {

bool isTokenChar(QChar c)
{
    const char16_t u = c.unicode();
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9'))
        return true;
    return u < 0x80 && QByteArrayView("!#$%'*+-.^_`|~").contains(char(u));
}

// Fields the relay and the engine set themselves: taking them from a list
// would let a list break the request's framing.
bool isConnectionField(const QByteArray &name)
{
    static const char *const fields[]
        = {"host", "content-length", "transfer-encoding", "connection", "keep-alive", "upgrade",
            "te", "trailer", "proxy-connection", "proxy-authorization"};
    const QByteArray lower = name.toLower();
    return std::any_of(
        std::begin(fields), std::end(fields), [&](const char *f) { return lower == f; });
}

bool readHeaders(QStringView text, RequestHeaders &headers)
{
    if (text.isEmpty())
        return false;
    for (QStringView pair : text.split(u'&')) {
        const qsizetype eq = pair.indexOf(u'=');
        if (eq <= 0)
            return false;
        const QStringView name = pair.left(eq);
        if (!std::all_of(name.begin(), name.end(), isTokenChar))
            return false;
        const QByteArray value = QByteArray::fromPercentEncoding(pair.mid(eq + 1).toUtf8());
        // A line break or NUL would end the header inside the request.
        if (value.contains('\r') || value.contains('\n') || value.contains('\0'))
            return false;
        const QByteArray field = name.toLatin1();
        if (!isConnectionField(field))
            headers.append({field, value.trimmed()});
    }
    return true;
}

} // namespace

namespace ChannelAddresses {

ChannelAddress split(const QString &text)
{
    const qsizetype bar = text.lastIndexOf(u'|');
    RequestHeaders headers;
    if (bar < 0 || !readHeaders(QStringView(text).mid(bar + 1).trimmed(), headers))
        return {text, {}};
    return {text.left(bar), headers};
}

} // namespace ChannelAddresses
