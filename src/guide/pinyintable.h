#pragma once

#include <QtGlobal>

// The pinyin readings of the BMP's unified ideographs, made from Unicode's
// Unihan data at build time (pinyintable.pl). Syllable i is
// SyllableText[SyllableStart[i] .. SyllableStart[i + 1]); the readings of
// code point c are Readings[ReadingStart[c - FirstCode] ..
// ReadingStart[c - FirstCode + 1]), the most common first.
namespace PinyinTable {

extern const char32_t FirstCode;
extern const char32_t LastCode;
extern const char SyllableText[];
extern const quint16 SyllableStart[];
extern const quint16 ReadingStart[];
extern const quint16 Readings[];

} // namespace PinyinTable
