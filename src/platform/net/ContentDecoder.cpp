#include "platform/net/ContentDecoder.h"

#include <QList>

#include <algorithm>
#include <functional>

#include <brotli/decode.h>
#include <zlib.h>
#include <zstd.h>

namespace {

constexpr qsizetype kPiece = ContentDecoder::pieceSize;
// A zstd frame header at its longest: magic number, descriptor, window,
// dictionary id and content size.
constexpr qsizetype kZstdHeaderMax = 4 + 1 + 1 + 4 + 8;

bool overLimit(const QByteArray& out, qint64 limit)
{
    return limit >= 0 && out.size() > limit;
}

QString damaged(const QString& why)
{
    return QStringLiteral("The response's compressed body is damaged (%1).").arg(why);
}

} // namespace

class ContentDecoder::Stage {
public:
    // Takes each decoded piece; false asks the stage to stop at once (the
    // rest of its input is dropped).
    using Sink = std::function<bool(QByteArrayView)>;

    virtual ~Stage() = default;
    // Hands what `coded` decodes to to `sink`. False with `error` set when
    // the stream cannot be decoded; a stop asked by the sink is no failure.
    virtual bool decode(QByteArrayView coded, const Sink& sink, QString& error) = 0;
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

    bool decode(QByteArrayView coded, const Sink& sink, QString& error) override
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
            return run(head, sink, error);
        }
        return run(coded, sink, error);
    }

    bool finished() const override { return m_ended; }

private:
    void start(int windowBits)
    {
        inflateInit2(&m_z, windowBits);
        m_started = true;
    }

    bool run(QByteArrayView coded, const Sink& sink, QString& error)
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
            m_z.next_out = reinterpret_cast<Bytef*>(piece);
            m_z.avail_out = uInt(sizeof piece);
            const int rc = inflate(&m_z, Z_NO_FLUSH);
            const qsizetype written = qsizetype(sizeof piece - m_z.avail_out);
            if (written > 0 && !sink(QByteArrayView(piece, written)))
                return true;
            if (rc == Z_STREAM_END) {
                m_ended = true;
                continue;
            }
            if (rc == Z_BUF_ERROR || (rc == Z_OK && m_z.avail_in == 0 && m_z.avail_out != 0))
                return true;  // waits for more input
            if (rc != Z_OK) {
                error = damaged(QString::fromLatin1(m_z.msg ? m_z.msg : "zlib error"));
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

    bool decode(QByteArrayView coded, const Sink& sink, QString& error) override
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
            uint8_t* target = piece;
            size_t room = sizeof piece;
            const auto result = BrotliDecoderDecompressStream(m_state, &available, &next, &room, &target, nullptr);
            const qsizetype written = qsizetype(sizeof piece - room);
            if (written > 0 && !sink(QByteArrayView(reinterpret_cast<const char*>(piece), written)))
                return true;
            switch (result) {
            case BROTLI_DECODER_RESULT_SUCCESS:
                m_ended = true;
                break;
            case BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT:
                break;
            case BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT:
                return true;
            case BROTLI_DECODER_RESULT_ERROR:
                error = damaged(QString::fromLatin1(BrotliDecoderErrorString(BrotliDecoderGetErrorCode(m_state))));
                return false;
            }
        }
    }

    bool finished() const override { return m_ended; }

private:
    BrotliDecoderState* m_state;
    bool m_ended = false;
};

// zstd; frames may follow one another. A frame may declare its content
// size; the library does not hold a frame that arrives in pieces to it, so
// the header is read here and the frame's output counted against it.
class ZstdStage final : public ContentDecoder::Stage {
public:
    ZstdStage() : m_stream(ZSTD_createDStream()) { ZSTD_initDStream(m_stream); }
    ~ZstdStage() override { ZSTD_freeDStream(m_stream); }

    bool decode(QByteArrayView coded, const Sink& sink, QString& error) override
    {
        ZSTD_inBuffer in{coded.data(), size_t(coded.size()), 0};
        size_t kept = 0;  // bytes of `coded` already kept for the current frame's header
        char piece[kPiece];
        for (;;) {
            kept += readHeader(coded.sliced(qsizetype(kept)));
            const size_t taken = in.pos;
            ZSTD_outBuffer target{piece, sizeof piece, 0};
            const size_t result = ZSTD_decompressStream(m_stream, &target, &in);
            if (ZSTD_isError(result)) {
                error = damaged(QString::fromLatin1(ZSTD_getErrorName(result)));
                return false;
            }
            m_frameOutput += target.pos;
            if (target.pos > 0 && !sink(QByteArrayView(piece, qsizetype(target.pos))))
                return true;
            const bool progressed = in.pos > taken || target.pos > 0;
            // 0: a frame ended and everything it held has been written. Asked
            // again with nothing new (its last piece was filled exactly), the
            // library hints at the next frame's header instead, which does
            // not undo that end: only new input starts another frame.
            if (result == 0) {
                if (!frameEnded(error))
                    return false;
                kept = in.pos;  // where the next frame starts
            } else if (progressed) {
                m_ended = false;
            }
            if (in.pos == in.size && target.pos < target.size)
                return true;
        }
    }

    bool finished() const override { return m_ended; }

private:
    // Keeps the bytes of the current frame's header from the front of
    // `next` until the header is whole; returns how many it kept.
    size_t readHeader(QByteArrayView next)
    {
        if (m_declared)
            return 0;
        const QByteArrayView more = next.first(std::min(kZstdHeaderMax - m_header.size(), next.size()));
        m_header.append(more);
        if (m_header.isEmpty())
            return 0;
        const unsigned long long size = ZSTD_getFrameContentSize(m_header.constData(), size_t(m_header.size()));
        // Too few bytes yet; a header that is no header is the library's to report.
        if (size != ZSTD_CONTENTSIZE_ERROR) {
            m_declared = size;
            m_header.clear();
        }
        return size_t(more.size());
    }

    bool frameEnded(QString& error)
    {
        const unsigned long long declared = m_declared.value_or(ZSTD_CONTENTSIZE_UNKNOWN);
        const unsigned long long held = std::exchange(m_frameOutput, 0);
        m_declared.reset();
        m_ended = true;
        if (declared == ZSTD_CONTENTSIZE_UNKNOWN || declared == ZSTD_CONTENTSIZE_ERROR || declared == held)
            return true;
        error = damaged(QStringLiteral("a frame that declares %1 bytes holds %2").arg(declared).arg(held));
        return false;
    }

    ZSTD_DStream* m_stream;
    bool m_ended = false;
    QByteArray m_header;                           // of the current frame, while it is read
    std::optional<unsigned long long> m_declared;  // its content size, once the header is read
    unsigned long long m_frameOutput = 0;          // bytes it has decoded to so far
};

// A registered coding no decoder here reads (and no request offers):
// nothing in it can be trusted to be the body.
class UnreadableStage final : public ContentDecoder::Stage {
public:
    explicit UnreadableStage(QByteArray coding) : m_coding(std::move(coding)) {}
    bool decode(QByteArrayView, const Sink&, QString& error) override
    {
        error = QStringLiteral("The response uses a content coding that cannot be read: %1")
                    .arg(QString::fromLatin1(m_coding));
        return false;
    }
    bool finished() const override { return false; }

private:
    QByteArray m_coding;
};

enum class Coding { Gzip, Deflate, Brotli, Zstd, Unreadable };

// What a name in Content-Encoding asks for; nothing for "identity" and for
// a name that is no coding at all.
std::optional<Coding> codingNamed(const QByteArray& name)
{
    if (name == "gzip" || name == "x-gzip")
        return Coding::Gzip;
    if (name == "deflate")
        return Coding::Deflate;
    if (name == "br")
        return Coding::Brotli;
    if (name == "zstd")
        return Coding::Zstd;
    // Registered codings this class has no decoder for.
    static const QByteArray unreadable[] = {"compress", "x-compress", "exi", "pack200-gzip", "aes128gcm", "dcb", "dcz"};
    if (std::find(std::begin(unreadable), std::end(unreadable), name) != std::end(unreadable))
        return Coding::Unreadable;
    return std::nullopt;
}

// The named codings, in the order the server applied them.
QList<std::pair<QByteArray, Coding>> codingsOf(QByteArrayView contentEncoding)
{
    QList<std::pair<QByteArray, Coding>> codings;
    for (const QByteArray& part : contentEncoding.toByteArray().split(',')) {
        const QByteArray name = part.trimmed().toLower();
        if (const std::optional<Coding> coding = codingNamed(name))
            codings.append({name, *coding});
    }
    return codings;
}

std::vector<std::unique_ptr<ContentDecoder::Stage>> stagesFor(QByteArrayView contentEncoding)
{
    const QList<std::pair<QByteArray, Coding>> codings = codingsOf(contentEncoding);
    std::vector<std::unique_ptr<ContentDecoder::Stage>> stages;
    QList<QByteArray> unreadable;
    for (const auto& [name, coding] : codings) {
        if (coding == Coding::Unreadable)
            unreadable.append(name);
    }
    if (!unreadable.isEmpty()) {
        stages.push_back(std::make_unique<UnreadableStage>(unreadable.join(", ")));
        return stages;
    }
    // The last coding applied is the first undone.
    for (auto it = codings.crbegin(); it != codings.crend(); ++it) {
        switch (it->second) {
        case Coding::Gzip:
            stages.push_back(std::make_unique<ZlibStage>(true));
            break;
        case Coding::Deflate:
            stages.push_back(std::make_unique<ZlibStage>(false));
            break;
        case Coding::Brotli:
            stages.push_back(std::make_unique<BrotliStage>());
            break;
        case Coding::Zstd:
            stages.push_back(std::make_unique<ZstdStage>());
            break;
        case Coding::Unreadable:
            break;
        }
    }
    return stages;
}

} // namespace

QByteArray ContentDecoder::acceptEncoding()
{
    return "zstd, br, gzip, deflate";
}

ContentDecoder::ContentDecoder(QByteArrayView contentEncoding) : m_stages(stagesFor(contentEncoding)) {}

ContentDecoder::~ContentDecoder() = default;

bool ContentDecoder::isIdentity() const
{
    return m_stages.empty();
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
    if (!m_error.isEmpty())
        return false;
    feed(0, coded, out, limit);
    return m_error.isEmpty();
}

// Passes `data` through the stages from `stage` on; false once decoding has
// to stop (an error, or the limit passed).
bool ContentDecoder::feed(std::size_t stage, QByteArrayView data, QByteArray& out, qint64 limit)
{
    if (stage == m_stages.size()) {
        out.append(data.data(), data.size());
        return !overLimit(out, limit);
    }
    const Stage::Sink next = [this, stage, &out, limit](QByteArrayView piece) {
        return feed(stage + 1, piece, out, limit);
    };
    // A stage that stops at its sink's word sets no error of its own.
    m_stages[stage]->decode(data, next, m_error);
    return m_error.isEmpty() && !overLimit(out, limit);
}

bool ContentDecoder::finished() const
{
    if (m_stages.empty() || !m_sawInput)
        return true;
    return m_error.isEmpty()
        && std::all_of(m_stages.begin(), m_stages.end(), [](const auto& stage) { return stage->finished(); });
}

QString ContentDecoder::errorString() const
{
    return m_error;
}
