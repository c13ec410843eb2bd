#include "hlsplaylist.h"

#include <QString>

#include <algorithm>

namespace {

struct Line {
    QByteArray text;
    bool ended = true; // by a line break
    bool dropped = false;
};

constexpr QByteArrayView byteOrderMark("\xEF\xBB\xBF");

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The text from #EXTM3U on, when only a byte order mark and blanks come first:
// the page's player wants it as the very first bytes.
QByteArrayView fromHeader(QByteArrayView text)
{
    QByteArrayView rest = text.startsWith(byteOrderMark) ? text.sliced(3) : text;
    while (!rest.isEmpty() && isBlank(rest.front()))
        rest = rest.sliced(1);
    return rest.startsWith("#EXTM3U") ? rest : text;
}

QList<Line> linesOf(QByteArrayView text)
{
    QList<Line> lines;
    qsizetype start = 0;
    for (qsizetype at = 0; at < text.size(); ++at) {
        if (text[at] != '\n' && text[at] != '\r')
            continue;
        lines.append({text.sliced(start, at - start).toByteArray()});
        if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n')
            ++at;
        start = at + 1;
    }
    if (start < text.size())
        lines.append({text.sliced(start).toByteArray(), false});
    return lines;
}

QByteArray joined(const QList<Line> &lines)
{
    QByteArray text;
    for (const Line &line : lines) {
        if (line.dropped)
            continue;
        text += line.text;
        if (line.ended)
            text += '\n';
    }
    return text;
}

QByteArrayView tagName(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    return colon < 0 ? line : line.first(colon);
}

struct Attribute {
    QByteArray name;
    qsizetype start; // of the name
    qsizetype valueStart;
    qsizetype valueEnd;
    // Where the next attribute begins: anything after the value up to the
    // next comma is this attribute's too, as the reader skips it.
    qsizetype next;
};

// NAME=value and NAME="quoted, value" pairs after the tag's colon.
QList<Attribute> attributesOf(QByteArrayView line)
{
    QList<Attribute> attributes;
    qsizetype at = line.indexOf(':');
    if (at < 0)
        return attributes;
    ++at;
    while (at < line.size()) {
        const qsizetype equals = line.indexOf('=', at);
        if (equals < 0)
            break;
        Attribute attribute {
            line.sliced(at, equals - at).trimmed().toByteArray(), at, equals + 1, 0, 0};
        if (equals + 1 < line.size() && line[equals + 1] == '"') {
            ++attribute.valueStart;
            const qsizetype quote = line.indexOf('"', attribute.valueStart);
            attribute.valueEnd = quote < 0 ? line.size() : quote;
        } else {
            const qsizetype comma = line.indexOf(',', equals);
            attribute.valueEnd = comma < 0 ? line.size() : comma;
        }
        const qsizetype comma = line.indexOf(',', attribute.valueEnd);
        at = attribute.next = comma < 0 ? line.size() : comma + 1;
        attributes.append(attribute);
    }
    return attributes;
}

// Changes to a line, in order: each replaces [from, to).
struct Edit {
    qsizetype from;
    qsizetype to;
    QByteArray text;
};

// The line with its edits made in one pass, however many there are.
QByteArray edited(QByteArrayView line, const QList<Edit> &edits)
{
    QByteArray result;
    qsizetype at = 0;
    for (const Edit &edit : edits) {
        const qsizetype from = std::max(edit.from, at);
        result += line.sliced(at, from - at);
        result += edit.text;
        at = std::max(edit.to, from);
    }
    result += line.sliced(at);
    return result;
}

const Attribute *findAttribute(const QList<Attribute> &attributes, QByteArrayView name)
{
    for (const Attribute &attribute : attributes) {
        if (attribute.name == name)
            return &attribute;
    }
    return nullptr;
}

// Takes the attribute out with the comma that sets it apart from the others.
Edit removal(QByteArrayView line, const Attribute &attribute)
{
    const bool last = attribute.next == line.size() || line[attribute.next - 1] != ',';
    const bool commaBefore = attribute.start > 0 && line[attribute.start - 1] == ',';
    return {last && commaBefore ? attribute.start - 1 : attribute.start, attribute.next, {}};
}

// Tags that describe the one segment or variant on the next address line.
bool belongsToNextAddress(QByteArrayView name)
{
    return name == "#EXTINF" || name == "#EXT-X-BYTERANGE" || name == "#EXT-X-STREAM-INF"
        || name == "#EXT-X-PROGRAM-DATE-TIME" || name == "#EXT-X-GAP";
}

QList<QByteArrayView> codecEntries(QByteArrayView list)
{
    QList<QByteArrayView> entries;
    for (qsizetype at = 0; at <= list.size();) {
        qsizetype comma = list.indexOf(',', at);
        if (comma < 0)
            comma = list.size();
        const QByteArrayView entry = list.sliced(at, comma - at).trimmed();
        if (!entry.isEmpty())
            entries.append(entry);
        at = comma + 1;
    }
    return entries;
}

StreamCodecs codecsOf(QByteArrayView list)
{
    StreamCodecs found;
    bool unknown = false;
    for (const QByteArrayView entry : codecEntries(list)) {
        const Codec codec = Codecs::fromCodecString(entry);
        if (Codecs::isVideo(codec) && found.video == Codec::None)
            found.video = codec;
        else if (Codecs::isAudio(codec) && found.audio == Codec::None)
            found.audio = codec;
        // Subtitles and captions are neither picture nor sound.
        else if (codec == Codec::Unknown && !entry.startsWith("stpp") && !entry.startsWith("wvtt"))
            unknown = true;
    }
    if (unknown && found.video == Codec::None)
        found.video = Codec::Unknown;
    else if (unknown && found.audio == Codec::None)
        found.audio = Codec::Unknown;
    return found;
}

} // namespace

namespace HlsPlaylist {

bool looksLikePlaylist(QByteArrayView head)
{
    return fromHeader(head).startsWith("#EXTM3U");
}

QByteArray rewrite(QByteArrayView text, const QUrl &base,
    const std::function<QByteArray(const QUrl &)> &map, qsizetype limit)
{
    const auto mapped = [&](QByteArrayView address) {
        return map(base.resolved(QUrl(QString::fromUtf8(address))));
    };
    QList<Line> lines = linesOf(fromHeader(text));
    QList<qsizetype> belonging; // tags for the next address line
    // At most the text and every address put in.
    qsizetype size = text.size();
    for (qsizetype i = 0; i < lines.size() && size <= limit; ++i) {
        Line &line = lines[i];
        const QByteArrayView address = QByteArrayView(line.text).trimmed();
        if (address.isEmpty())
            continue;
        if (!address.startsWith('#')) {
            line.text = mapped(address);
            size += line.text.size();
            line.dropped = line.text.isEmpty();
            for (const qsizetype tag : qAsConst(belonging))
                lines[tag].dropped = lines[tag].dropped || line.dropped;
            belonging.clear();
            continue;
        }
        if (!address.startsWith("#EXT"))
            continue; // a comment
        if (belongsToNextAddress(tagName(line.text)))
            belonging.append(i);
        QList<Edit> edits;
        for (const Attribute &attribute : attributesOf(line.text)) {
            if (attribute.name != "URI" || attribute.valueStart == attribute.valueEnd)
                continue;
            edits.append({attribute.valueStart, attribute.valueEnd,
                mapped(QByteArrayView(line.text).sliced(
                    attribute.valueStart, attribute.valueEnd - attribute.valueStart))});
            line.dropped = line.dropped || edits.constLast().text.isEmpty();
            size += edits.constLast().text.size();
        }
        if (!edits.isEmpty() && !line.dropped)
            line.text = edited(line.text, edits);
    }
    if (size > limit)
        return {};
    return joined(lines);
}

QList<StreamCodecs> announcedCodecs(QByteArrayView text)
{
    QList<StreamCodecs> variants;
    bool announced = false;
    for (const Line &line : linesOf(text)) {
        if (tagName(line.text) != "#EXT-X-STREAM-INF")
            continue;
        const QList<Attribute> attributes = attributesOf(line.text);
        const Attribute *codecs = findAttribute(attributes, "CODECS");
        announced = announced || codecs;
        variants.append(codecs ? codecsOf(QByteArrayView(line.text).sliced(
                            codecs->valueStart, codecs->valueEnd - codecs->valueStart))
                               : StreamCodecs {Codec::Unknown, Codec::Unknown});
    }
    return announced ? variants : QList<StreamCodecs>();
}

QByteArray withoutAudioCodecs(QByteArrayView text)
{
    QList<Line> lines = linesOf(text);
    for (Line &line : lines) {
        const QByteArrayView name = tagName(line.text);
        if (!name.startsWith("#EXT"))
            continue;
        const QList<Attribute> attributes = attributesOf(line.text);
        if (name == "#EXT-X-MEDIA") {
            const Attribute *type = findAttribute(attributes, "TYPE");
            line.dropped = type
                && QByteArrayView(line.text).sliced(
                       type->valueStart, type->valueEnd - type->valueStart)
                    == "AUDIO";
            continue;
        }
        QList<Edit> edits;
        for (const Attribute &attribute : attributes) {
            if (attribute.name == "AUDIO") {
                edits.append(removal(line.text, attribute));
                continue;
            }
            if (attribute.name != "CODECS")
                continue;
            QByteArrayList kept;
            const QList<QByteArrayView> entries = codecEntries(QByteArrayView(line.text).sliced(
                attribute.valueStart, attribute.valueEnd - attribute.valueStart));
            for (const QByteArrayView entry : entries) {
                if (!Codecs::isAudio(Codecs::fromCodecString(entry)))
                    kept.append(entry.toByteArray());
            }
            // A value is only ever rewritten inside its quotes: an unquoted one
            // holds one entry, and tidied it could read as quoted.
            if (kept.isEmpty())
                edits.append(removal(line.text, attribute));
            else if (kept.size() < entries.size())
                edits.append({attribute.valueStart, attribute.valueEnd, kept.join(',')});
        }
        if (!edits.isEmpty())
            line.text = edited(line.text, edits);
    }
    return joined(lines);
}

} // namespace HlsPlaylist
