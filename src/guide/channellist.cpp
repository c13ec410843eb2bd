#include "channellist.h"

namespace ChannelList {

ChannelListParse parse(QStringView text)
{
    ChannelListParse result;
    qsizetype pos = 0;
    const qsizetype size = text.size();
    // The text after the last line break is a line too, so an empty text is one
    // empty line and ends the list at once.
    while (pos <= size) {
        qsizetype end = pos;
        while (end < size && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        const QStringView line = text.sliced(pos, end - pos);
        const qsizetype semi = line.indexOf(u';');
        if (semi < 0)
            break;
        if (semi + 1 > MaxSeparatorPosition || result.entries.size() >= MaxChannels) {
            result.hitLimit = true;
            break;
        }
        result.entries.append({line.first(semi).toString(), line.sliced(semi + 1).toString()});
        if (end == size)
            break;
        pos = end + ((text[end] == u'\r' && end + 1 < size && text[end + 1] == u'\n') ? 2 : 1);
    }
    return result;
}

} // namespace ChannelList
