#include "platform/ContentDecoder.h"

#include <QList>

#include <brotli/decode.h>
#include <zlib.h>
#include <zstd.h>

namespace {

constexpr qsizetype kPiece = 16 * 1024;  // output written per step

bool overLimit(const QByteArray& out, qint64 limit)
{
    return limit >= 0 && out.size() > limit;
}

} // namespace

class ContentDecoder::Stage {
public:
    virtual ~Stage() = default;
    // False with `error` set when the stream cannot be decoded.
    virtual bool decode(QByteArrayView coded, QByteArray& out, qint64 limit, QString& error) = 0;
    virtual bool finished() const = 0;
};

namespace {

// gzip (members may follow one another) and deflate, which servers send
// zlib-wrapped as the standard says or, often enough, raw.
class ZlibStage final : public ContentDecoder::Stage {
public:
    explicit ZlibStage(bool gzip) : m_gzip(gzip)
    {
        if (m_gzip)
            start(16 + MAX_WBITS);
    }
    ~ZlibStage() override
    {
        if (m_started)
            inflateEnd(&m_z);
    }

    bool decode(QByteArrayView coded, QByteArray& out, qint64 limit, QString& error) override
    {
        if (!m_started) {
            // The first two bytes tell a zlib header from raw deflate data.
            m_head.append(coded.data(), coded.size());
            if (m_head.size() < 2)
                return true;
            const auto b0 = uchar(m_head[0]), b1 = uchar(m_head[1]);
            const bool wrapped = (b0 & 0x0f) == Z_DEFLATED && ((b0 << 8) | b1) % 31 == 0;
            start(wrapped ? MAX_WBITS : -MAX_WBITS);
            const QByteArray head = std::exchange(m_head, {});
            return run(head, out, limit, error);
        }
        return run(coded, out, limit, error);
    }

    bool finished() const override { return m_ended; }

private:
    void start(int windowBits)
    {
        inflateInit2(&m_z, windowBits);
        m_started = true;
    }

    bool run(QByteArrayView coded, QByteArray& out, qint64 limit, QString& error)
    {
        m_z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(coded.data()));
        m_z.avail_in = uInt(coded.size());
        char piece[kPiece];
        for (;;) {
            if (m_ended) {
                if (m_z.avail_in == 0)
                    return true;
                if (!m_gzip) {
                    error = QStringLiteral("The response carries data after the end of its deflate stream.");
                    return false;
                }
                inflateReset(&m_z);  // the next gzip member
                m_ended = false;
            }
            if (overLimit(out, limit))
                return true;
            m_z.next_out = reinterpret_cast<Bytef*>(piece);
            m_z.avail_out = uInt(sizeof piece);
            const int rc = inflate(&m_z, Z_NO_FLUSH);
            out.append(piece, qsizetype(sizeof piece - m_z.avail_out));
            if (rc == Z_STREAM_END) {
                m_ended = true;
                continue;
            }
            if (rc == Z_BUF_ERROR || (rc == Z_OK && m_z.avail_in == 0 && m_z.avail_out != 0))
                return true;  // waits for more input
            if (rc != Z_OK) {
                error = QStringLiteral("The response's compressed body is damaged (%1).")
                            .arg(QString::fromLatin1(m_z.msg ? m_z.msg : "zlib error"));
                return false;
            }
        }
    }

    bool m_gzip;
    bool m_started = false;
    bool m_ended = false;
    QByteArray m_head;
    z_stream m_z{};
};

class BrotliStage final : public ContentDecoder::Stage {
public:
    BrotliStage() : m_state(BrotliDecoderCreateInstance(nullptr, nullptr, nullptr)) {}
    ~BrotliStage() override { BrotliDecoderDestroyInstance(m_state); }

    bool decode(QByteArrayView coded, QByteArray& out, qint64 limit, QString& error) override
    {
        auto next = reinterpret_cast<const uint8_t*>(coded.data());
        size_t available = size_t(coded.size());
        uint8_t piece[kPiece];
        for (;;) {
            if (m_ended) {
                if (available == 0)
                    return true;
                error = QStringLiteral("The response carries data after the end of its brotli stream.");
                return false;
            }
            if (overLimit(out, limit))
                return true;
            uint8_t* target = piece;
            size_t room = sizeof piece;
            const auto result = BrotliDecoderDecompressStream(m_state, &available, &next, &room, &target, nullptr);
            out.append(reinterpret_cast<const char*>(piece), qsizetype(sizeof piece - room));
            switch (result) {
            case BROTLI_DECODER_RESULT_SUCCESS:
                m_ended = true;
                break;
            case BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT:
                break;
            case BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT:
                return true;
            case BROTLI_DECODER_RESULT_ERROR:
                error = QStringLiteral("The response's compressed body is damaged (%1).")
                            .arg(QString::fromLatin1(BrotliDecoderErrorString(BrotliDecoderGetErrorCode(m_state))));
                return false;
            }
        }
    }

    bool finished() const override { return m_ended; }

private:
    BrotliDecoderState* m_state;
    bool m_ended = false;
};

// zstd; frames may follow one another.
class ZstdStage final : public ContentDecoder::Stage {
public:
    ZstdStage() : m_stream(ZSTD_createDStream()) { ZSTD_initDStream(m_stream); }
    ~ZstdStage() override { ZSTD_freeDStream(m_stream); }

    bool decode(QByteArrayView coded, QByteArray& out, qint64 limit, QString& error) override
    {
        ZSTD_inBuffer in{coded.data(), size_t(coded.size()), 0};
        char piece[kPiece];
        for (;;) {
            if (overLimit(out, limit))
                return true;
            ZSTD_outBuffer target{piece, sizeof piece, 0};
            const size_t result = ZSTD_decompressStream(m_stream, &target, &in);
            if (ZSTD_isError(result)) {
                error = QStringLiteral("The response's compressed body is damaged (%1).")
                            .arg(QString::fromLatin1(ZSTD_getErrorName(result)));
                return false;
            }
            out.append(piece, qsizetype(target.pos));
            // 0: a frame ended and everything it held has been written.
            m_ended = result == 0;
            if (in.pos == in.size && target.pos < target.size)
                return true;
        }
    }

    bool finished() const override { return m_ended; }

private:
    ZSTD_DStream* m_stream;
    bool m_ended = false;
};

// A coding no request offered: nothing in it can be trusted to be the body.
class UnreadableStage final : public ContentDecoder::Stage {
public:
    explicit UnreadableStage(QByteArray coding) : m_coding(std::move(coding)) {}
    bool decode(QByteArrayView, QByteArray&, qint64, QString& error) override
    {
        error = QStringLiteral("The response uses a content coding that cannot be read: %1")
                    .arg(QString::fromLatin1(m_coding));
        return false;
    }
    bool finished() const override { return false; }

private:
    QByteArray m_coding;
};

// The codings named, in order, without "identity".
QByteArray codingsOf(QByteArrayView contentEncoding)
{
    QList<QByteArray> codings;
    for (const QByteArray& part : contentEncoding.toByteArray().split(',')) {
        const QByteArray coding = part.trimmed().toLower();
        if (!coding.isEmpty() && coding != "identity")
            codings.append(coding);
    }
    return codings.join(", ");
}

std::unique_ptr<ContentDecoder::Stage> stageFor(QByteArrayView contentEncoding)
{
    const QByteArray coding = codingsOf(contentEncoding);
    if (coding.isEmpty())
        return nullptr;
    if (coding == "gzip" || coding == "x-gzip")
        return std::make_unique<ZlibStage>(true);
    if (coding == "deflate")
        return std::make_unique<ZlibStage>(false);
    if (coding == "br")
        return std::make_unique<BrotliStage>();
    if (coding == "zstd")
        return std::make_unique<ZstdStage>();
    return std::make_unique<UnreadableStage>(coding);
}

} // namespace

QByteArray ContentDecoder::acceptEncoding()
{
    return "zstd, br, gzip, deflate";
}

ContentDecoder::ContentDecoder(QByteArrayView contentEncoding) : m_stage(stageFor(contentEncoding)) {}

ContentDecoder::~ContentDecoder() = default;

bool ContentDecoder::isIdentity() const
{
    return !m_stage;
}

bool ContentDecoder::isCoded(QByteArrayView contentEncoding)
{
    return !codingsOf(contentEncoding).isEmpty();
}

bool ContentDecoder::decode(QByteArrayView coded, QByteArray& out, qint64 limit)
{
    if (coded.isEmpty())
        return m_error.isEmpty();
    m_sawInput = true;
    if (!m_stage) {
        out.append(coded.data(), coded.size());
        return true;
    }
    if (!m_error.isEmpty())
        return false;
    return m_stage->decode(coded, out, limit, m_error);
}

bool ContentDecoder::finished() const
{
    return !m_stage || !m_sawInput || (m_error.isEmpty() && m_stage->finished());
}

QString ContentDecoder::errorString() const
{
    return m_error;
}
