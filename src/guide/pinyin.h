#pragma once

#include <QLatin1String>
#include <QList>
#include <QStringView>

// Finding a name by what is typed on a Latin keyboard: its Latin letters and
// digits as written, and its Chinese characters by their pinyin.
namespace Pinyin {

// The longest typed text that is matched; longer never matches.
inline constexpr int MaxTyped = 63;

// The readings of c without tones, ü written v, the most common first; none
// for a character that is not a unified ideograph of the BMP.
QList<QLatin1String> readingsOf(char32_t c);

// Whether name begins with typed (lower-case letters and digits), read unit
// by unit: a Latin letter or digit is itself, whatever its case or width; a
// Chinese character is any beginning of any of its readings, so its initial
// and its whole syllable both count; everything else (spaces, punctuation,
// characters without a reading) is passed over.
bool nameStartsWith(QStringView name, QStringView typed);

} // namespace Pinyin
