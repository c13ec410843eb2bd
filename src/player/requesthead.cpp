#include "requesthead.h"

#include <QList>

#include <algorithm>

namespace {
constexpr QByteArrayView headEnd("\r\n\r\n");
} // namespace

RequestHead RequestHead::parse(QByteArrayView head)
{
    RequestHead result;
    qsizetype at = 0;
    for (bool first = true; at < head.size(); first = false) {
        qsizetype end = head.indexOf('\n', at);
        if (end < 0)
            end = head.size();
        const QByteArrayView line = head.sliced(at, end - at).trimmed();
        at = end + 1;
        if (first) {
            const QList<QByteArray> parts = line.toByteArray().split(' ');
            result.wellFormed = parts.size() == 3;
            result.method = parts.value(0);
            result.target = parts.value(1);
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            result.fields.insert(line.first(colon).trimmed().toByteArray().toLower(),
                line.sliced(colon + 1).trimmed().toByteArray());
    }
    return result;
}

RequestHeadReader::State RequestHeadReader::feed(QByteArrayView bytes)
{
    if (m_state != State::Reading)
        return m_state;
    // Only what could still end a head within the bound is kept.
    const qsizetype from = std::max<qsizetype>(0, m_bytes.size() - (headEnd.size() - 1));
    m_bytes += bytes.first(std::min(bytes.size(), MaxSize + headEnd.size() - m_bytes.size()));
    const qsizetype end = m_bytes.indexOf(headEnd, from);
    if (end >= 0 && end <= MaxSize) {
        m_bytes.truncate(end);
        return m_state = State::Complete;
    }
    if (m_bytes.size() >= MaxSize + headEnd.size()) {
        m_bytes.clear();
        return m_state = State::TooLarge;
    }
    return m_state;
}
