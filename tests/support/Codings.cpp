#include "Codings.h"

#include <brotli/encode.h>
#include <zlib.h>
#include <zstd.h>

namespace {

QByteArray deflated(const QByteArray& plain, int windowBits)
{
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&z, uLong(plain.size()))) + 32, Qt::Uninitialized);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    z.avail_in = uInt(plain.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.truncate(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

} // namespace

namespace Codings {

QByteArray encoded(const QByteArray& coding, const QByteArray& plain)
{
    if (coding == "gzip")
        return deflated(plain, 16 + MAX_WBITS);
    if (coding == "deflate")
        return deflated(plain, MAX_WBITS);
    if (coding == "raw deflate")
        return deflated(plain, -MAX_WBITS);
    if (coding == "br") {
        QByteArray out(qsizetype(BrotliEncoderMaxCompressedSize(size_t(plain.size()))) + 16, Qt::Uninitialized);
        size_t size = size_t(out.size());
        BrotliEncoderCompress(BROTLI_DEFAULT_QUALITY, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_TEXT, size_t(plain.size()),
                              reinterpret_cast<const uint8_t*>(plain.data()), &size,
                              reinterpret_cast<uint8_t*>(out.data()));
        out.truncate(qsizetype(size));
        return out;
    }
    if (coding == "zstd") {
        QByteArray out(qsizetype(ZSTD_compressBound(size_t(plain.size()))), Qt::Uninitialized);
        out.truncate(qsizetype(ZSTD_compress(out.data(), size_t(out.size()), plain.data(), size_t(plain.size()), 19)));
        return out;
    }
    return plain;
}

QByteArray label(const QByteArray& coding)
{
    return coding == "raw deflate" ? QByteArray("deflate") : coding;
}

QByteArray sampleText(qsizetype size)
{
    static const char* const words[] = {"tide ", "wire ", "harbour ", "news ", "ticker ", "north ", "7 ", "storm ",
                                        "quay ", "ferry ", "2024 ", "gale "};
    QByteArray text;
    text.reserve(size + 16);
    quint32 state = 2463534242u;
    while (text.size() < size) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        text.append(words[state % (sizeof words / sizeof *words)]);
        if (state % 9 == 0)
            text.append(char('A' + state % 26));
    }
    text.truncate(size);
    return text;
}

} // namespace Codings
