#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <memory>
#include <vector>

// Undoes the content coding of an HTTP body as it arrives: gzip, deflate
// (zlib-wrapped or raw), br and zstd, and lists of them. Qt would do this
// itself, but then it hides the coded length the server announced, and a
// coded body cut off in transit would read as a whole shorter one. Doing it
// here keeps the coded bytes countable against Content-Length, and a coded
// stream that stops before its end is found out by the decoder.
//
// The Content-Encoding value is read as browsers read it. A list names the
// codings in the order the server applied them, so they are undone last
// first ("gzip, br": br, then gzip). "identity", and a label that names no
// coding at all ("UTF-8", "none", "binary", a common misconfiguration), undo
// nothing: the body passes as it stands. A coding that is registered but
// not read here ("compress") makes the body unreadable.
class ContentDecoder {
public:
    // Decoded output is written at most this much at a time.
    static constexpr qsizetype pieceSize = 16 * 1024;

    // The codings requests offer in Accept-Encoding.
    static QByteArray acceptEncoding();

    explicit ContentDecoder(QByteArrayView contentEncoding);
    ~ContentDecoder();
    ContentDecoder(const ContentDecoder&) = delete;
    ContentDecoder& operator=(const ContentDecoder&) = delete;

    // Whether the body passes unchanged.
    bool isIdentity() const;
    // Whether a Content-Encoding value leaves anything to undo (or to refuse).
    static bool isCoded(QByteArrayView contentEncoding);

    // Appends what `coded` decodes to onto `out`. Once `out` holds more than
    // `limit` bytes (-1: no limit) it stops and drops the rest of `coded`, so
    // a small coded body that expands hugely never sits whole in memory: the
    // caller is expected to give up then. False when the stream is corrupt or
    // its coding is one this class does not read.
    bool decode(QByteArrayView coded, QByteArray& out, qint64 limit = -1);
    // Whether the coded stream reached its proper end: every coding's own,
    // and where a zstd frame declares its content size, that size. A body
    // that never carried a byte counts as ended (an empty reply).
    bool finished() const;

    QString errorString() const;

    class Stage;

private:
    bool feed(std::size_t stage, QByteArrayView data, QByteArray& out, qint64 limit);

    std::vector<std::unique_ptr<Stage>> m_stages;  // in the order they are undone; none for identity
    QString m_error;
    bool m_sawInput = false;
};
