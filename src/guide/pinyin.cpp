#include "pinyin.h"

#include "pinyintable.h"

#include <QString>
#include <QtAlgorithms>

namespace {

// A Latin letter or digit as it is typed: lower-case ASCII (full-width and
// accented forms included); 0 for any other character.
char16_t typedForm(char16_t u)
{
    if (u < 0x80) {
        if ((u >= '0' && u <= '9') || (u >= 'a' && u <= 'z'))
            return u;
        return u >= 'A' && u <= 'Z' ? char16_t(u + ('a' - 'A')) : 0;
    }
    if (u >= 0xFF10 && u <= 0xFF19)
        return char16_t(u - 0xFF10 + '0');
    if (u >= 0xFF21 && u <= 0xFF3A)
        return char16_t(u - 0xFF21 + 'a');
    if (u >= 0xFF41 && u <= 0xFF5A)
        return char16_t(u - 0xFF41 + 'a');
    if (u >= 0xC0 && u < 0x250) {
        const QString parts = QChar(u).decomposition();
        return parts.isEmpty() ? 0 : typedForm(parts.at(0).unicode());
    }
    return 0;
}

// Where c's readings lie in PinyinTable::Readings; empty when it has none.
std::pair<int, int> readingSpan(char32_t c)
{
    if (c < PinyinTable::FirstCode || c > PinyinTable::LastCode)
        return {0, 0};
    const char32_t i = c - PinyinTable::FirstCode;
    return {PinyinTable::ReadingStart[i], PinyinTable::ReadingStart[i + 1]};
}

QLatin1String syllable(int id)
{
    const int start = PinyinTable::SyllableStart[id];
    return QLatin1String(
        PinyinTable::SyllableText + start, PinyinTable::SyllableStart[id + 1] - start);
}

} // namespace

namespace Pinyin {

QList<QLatin1String> readingsOf(char32_t c)
{
    const auto [begin, end] = readingSpan(c);
    QList<QLatin1String> found;
    for (int r = begin; r < end; ++r)
        found << syllable(PinyinTable::Readings[r]);
    return found;
}

bool nameStartsWith(QStringView name, QStringView typed)
{
    const qsizetype n = typed.size();
    if (n == 0)
        return true;
    if (n > MaxTyped)
        return false;
    // Bit p: the first p typed characters are matched so far. A polyphone
    // or a syllable's beginning can leave several ways open at once.
    quint64 ways = 1;
    const quint64 whole = quint64(1) << n;
    for (const QChar ch : name) {
        const char16_t u = ch.unicode();
        quint64 next = 0;
        if (const char16_t letter = typedForm(u)) {
            for (quint64 w = ways; w; w &= w - 1) {
                const int p = qCountTrailingZeroBits(w);
                if (typed[p].unicode() == letter)
                    next |= quint64(2) << p;
            }
        } else if (const auto [begin, end] = readingSpan(u); begin < end) {
            for (int r = begin; r < end; ++r) {
                const QLatin1String reading = syllable(PinyinTable::Readings[r]);
                for (quint64 w = ways; w; w &= w - 1) {
                    const int p = qCountTrailingZeroBits(w);
                    for (qsizetype k = 0; k < reading.size() && p + k < n
                         && typed[p + k].unicode() == char16_t(reading[k].unicode());
                         ++k)
                        next |= quint64(2) << (p + k);
                }
            }
        } else {
            continue;
        }
        if (next & whole)
            return true;
        if (!next)
            return false;
        ways = next;
    }
    return false;
}

} // namespace Pinyin
