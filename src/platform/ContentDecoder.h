#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <memory>

// Undoes the content coding of an HTTP body as it arrives: gzip, deflate
// (zlib-wrapped or raw), br and zstd. Qt would do this itself, but then it
// hides the coded length the server announced, and a coded body cut off in
// transit would read as a whole shorter one. Doing it here keeps the coded
// bytes countable against Content-Length, and a coded stream that stops
// before its end is found out by the decoder.
class ContentDecoder {
public:
    // The codings requests offer in Accept-Encoding.
    static QByteArray acceptEncoding();

    // For the reply's Content-Encoding value; empty or "identity" passes the
    // bytes through unchanged.
    explicit ContentDecoder(QByteArrayView contentEncoding);
    ~ContentDecoder();
    ContentDecoder(const ContentDecoder&) = delete;
    ContentDecoder& operator=(const ContentDecoder&) = delete;

    bool isIdentity() const;
    // Whether a Content-Encoding value names a coding (not empty, not identity).
    static bool isCoded(QByteArrayView contentEncoding);

    // Appends what `coded` decodes to onto `out`. Once `out` holds more than
    // `limit` bytes (-1: no limit) it stops and drops the rest of `coded`, so
    // a small coded body that expands hugely never sits whole in memory: the
    // caller is expected to give up then. False when the stream is corrupt or
    // its coding is one this class does not read.
    bool decode(QByteArrayView coded, QByteArray& out, qint64 limit = -1);
    // Whether the coded stream reached its proper end. A body that never
    // carried a byte counts as ended (an empty reply).
    bool finished() const;

    QString errorString() const;

    class Stage;

private:
    std::unique_ptr<Stage> m_stage;  // none for identity
    QString m_error;
    bool m_sawInput = false;
};
