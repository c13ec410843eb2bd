#pragma once

#include "streamcodecs.h"

#include <QByteArray>
#include <QByteArrayView>

// Reads an HTTP-FLV stream arriving in chunks of any size, tag by tag: finds
// the codecs of its picture and sound, and can strip the sound on the way
// through. Bytes that are no FLV pass through untouched.
// A tag passes as its bytes arrive, whatever size it declares: only a tag's
// head (and a script tag, up to a size, to be rewritten) waits for the rest,
// so once take() has returned what is ready at most MaxHeldBack bytes stay
// behind, and each byte is looked at a bounded number of times.
class FlvReframer {
public:
    static constexpr qsizetype MaxHeldBack = 64 * 1024 + 15;
    void push(QByteArrayView bytes);

    // Both tracks were seen, or the one the header announces alone, or long
    // enough went by without the other (which then is None).
    bool codecsKnown() const;
    StreamCodecs codecs() const { return m_codecs; }

    // From now on, and in what was not taken yet, sound tags are left out;
    // the header, if not taken yet, says there is no sound.
    void setDropAudio(bool drop);

    // The bytes ready so far, in order; the last tag may be cut short, its
    // rest follows.
    QByteArray take();
    // Bytes pushed that take() has not returned yet.
    qsizetype pending() const { return m_input.size() + m_output.size(); }

private:
    enum class Stage { Header, Tags, NotFlv };

    // How much of rest was read; 0 when more is needed.
    qsizetype readHeader(QByteArrayView rest);
    qsizetype readTag(QByteArrayView rest);
    void output(QByteArrayView tag);
    void noteTag(int type, QByteArrayView data, quint32 timestamp, qsizetype size);

    QByteArray m_input;
    QByteArray m_output;
    Stage m_stage = Stage::Header;
    qsizetype m_passThrough = 0; // header bytes still to copy as they are
    qsizetype m_flagsAt = -1; // the header's flags in m_output, until taken
    qsizetype m_tagsAt = -1; // the first tag begun in m_output, until taken
    qsizetype m_tagLeft = 0; // bytes of the tag under way still to come
    bool m_skipping = false; // the tag under way is left out
    bool m_dropAudio = false;

    bool m_headerAudio = true;
    bool m_headerVideo = true;
    bool m_audioSeen = false;
    bool m_videoSeen = false;
    bool m_waitedEnough = false;
    qint64 m_tagBytes = 0;
    qint64 m_firstTimestamp = -1;
    StreamCodecs m_codecs;
};
