#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// One line of the vendor's channel list: "name;url".
struct ChannelEntry {
    QString name;
    QString url;
    friend bool operator==(const ChannelEntry &a, const ChannelEntry &b)
    {
        return a.name == b.name && a.url == b.url;
    }
};

struct ChannelListParse {
    QList<ChannelEntry> entries;
    // The list stopped at a limit (too many entries, or a ";" too far into a
    // line) rather than at its end.
    bool hitLimit = false;
};

namespace ChannelList {

// The channel count is a signed 16-bit counter, and the position of a line's
// first ";" (1-based) plus one must fit one as well.
inline constexpr int MaxChannels = 32767;
inline constexpr int MaxSeparatorPosition = 32766;

// The list is the unbroken run of "name;url" lines from the top of text. Lines
// end at CR LF, CR or LF; a line without ";" (an empty one too) ends the list.
// Name and URL are split at the first ";" and never trimmed.
ChannelListParse parse(QStringView text);

} // namespace ChannelList
