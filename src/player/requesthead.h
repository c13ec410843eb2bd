#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>

// The head of an HTTP request, as a client may send it.
struct RequestHead {
    QByteArray method;
    QByteArray target;
    // Field names in lower case; of a field given twice, the last.
    QHash<QByteArray, QByteArray> fields;
    // A request line of method, target and version.
    bool wellFormed = false;

    static RequestHead parse(QByteArrayView head);
};

// Reads a request head arriving in pieces of any size: each byte is looked
// at a bounded number of times, and at most MaxSize bytes are kept.
class RequestHeadReader {
public:
    static constexpr qsizetype MaxSize = 16 * 1024;
    enum class State { Reading, Complete, TooLarge };

    // What is known once bytes are read too; bytes after a complete head are
    // no part of it.
    State feed(QByteArrayView bytes);
    State state() const { return m_state; }
    // Once Complete.
    RequestHead head() const { return RequestHead::parse(m_bytes); }
    qsizetype held() const { return m_bytes.size(); }

private:
    QByteArray m_bytes;
    State m_state = State::Reading;
};
