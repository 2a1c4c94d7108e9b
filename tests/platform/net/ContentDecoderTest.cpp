// The content decoder on its own: bodies of every size in every coding, fed
// as the network hands them over, and streams that say more than they hold.
#include "platform/net/ContentDecoder.h"

#include "Codings.h"

#include <QList>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

using Codings::encoded;

struct Fed {
    bool ok = true;
    QByteArray out;
    QString error;
    bool finished = false;
};

// Feeds `coded` in pieces of `split` bytes, as readyRead would.
Fed feed(const QByteArray& label, const QByteArray& coded, qsizetype split)
{
    ContentDecoder decoder(label);
    Fed fed;
    for (qsizetype at = 0; at < coded.size() && fed.ok; at += split)
        fed.ok = decoder.decode(QByteArrayView(coded).sliced(at, std::min(split, coded.size() - at)), fed.out);
    fed.error = decoder.errorString();
    fed.finished = decoder.finished();
    return fed;
}

// Output is written a piece at a time. A body that fills its last piece
// exactly, or ends a byte either side of it, is whole in every coding and
// however its coded bytes arrive; one missing its last coded byte never is.
TEST(ContentDecoder, BodiesAtAndAroundEveryMultipleOfThePieceSizeEndWhereTheyShould)
{
    constexpr qsizetype piece = ContentDecoder::pieceSize;
    QList<qsizetype> sizes = {0, 1};
    for (const qsizetype multiple : {1, 2, 3, 4})
        for (const qsizetype offset : {-1, 0, 1})
            sizes.append(multiple * piece + offset);
    const QByteArray tail = "\n-- the end --\n";
    const struct { const char* name; QByteArray label; bool twoParts; } codings[] = {
        {"gzip", "gzip", false},
        {"deflate", "deflate", false},
        {"raw deflate", "deflate", false},
        {"br", "br", false},
        {"zstd", "zstd", false},
        // A second gzip member or zstd frame right after one that filled
        // its last piece.
        {"gzip", "gzip", true},
        {"zstd", "zstd", true},
        // gzip first, then br over it: br is undone first.
        {"gzip then br", "gzip, br", false},
    };
    for (const auto& coding : codings) {
        for (const qsizetype size : sizes) {
            const QByteArray body = Codings::sampleText(size);
            QByteArray coded;
            if (QByteArray(coding.name) == "gzip then br")
                coded = encoded("br", encoded("gzip", body));
            else
                coded = encoded(coding.name, body) + (coding.twoParts ? encoded(coding.name, tail) : QByteArray());
            const QByteArray plain = coding.twoParts ? body + tail : body;
            for (const qsizetype split : {coded.size(), qsizetype(1), qsizetype(7), qsizetype(1000), piece}) {
                SCOPED_TRACE(std::string(coding.name) + (coding.twoParts ? " in two parts" : "") + ", "
                             + std::to_string(size) + " bytes, fed in pieces of " + std::to_string(split));
                const Fed whole = feed(coding.label, coded, std::max<qsizetype>(split, 1));
                ASSERT_TRUE(whole.ok) << whole.error.toStdString();
                EXPECT_TRUE(whole.finished) << "a whole body reads as cut off";
                EXPECT_TRUE(whole.out == plain) << "decoded " << whole.out.size() << " bytes";
                if (coded.size() < 2)
                    continue;  // without its one byte, a coded empty body is an empty reply
                const Fed cut = feed(coding.label, coded.chopped(1), std::max<qsizetype>(split, 1));
                EXPECT_FALSE(cut.ok && cut.finished) << "a stream short of its last byte reads as whole";
                EXPECT_TRUE(plain.startsWith(cut.out));
            }
        }
    }
}

// One zstd frame, built by hand: a header that declares `declared` bytes of
// content (or none), then `content` in one raw block marked last.
QByteArray zstdFrame(std::optional<quint8> declared, const QByteArray& content)
{
    QByteArray frame("\x28\xb5\x2f\xfd", 4);
    if (declared) {
        frame.append(char(0x20));  // a single segment, with a one-byte content size
        frame.append(char(*declared));
    } else {
        frame.append(char(0x00));  // no content size: a window descriptor instead
        frame.append(char(0x00));
    }
    const quint32 blockHeader = quint32(content.size()) << 3 | 1;  // raw, last
    frame.append(char(blockHeader & 0xff)).append(char(blockHeader >> 8 & 0xff)).append(char(blockHeader >> 16 & 0xff));
    return frame + content;
}

QByteArray skippableFrame(const QByteArray& content)
{
    QByteArray frame("\x50\x2a\x4d\x18", 4);
    char size[4];
    qToLittleEndian(quint32(content.size()), size);
    return frame + QByteArray(size, 4) + content;
}

// A zstd frame that declares its content size must hold exactly that much,
// whether it arrives whole or a byte at a time.
TEST(ContentDecoder, AZstdFrameHoldsTheContentSizeItDeclares)
{
    const struct { const char* name; QByteArray coded; std::optional<QByteArray> decoded; } rows[] = {
        {"declares 107, ends in an empty last block", zstdFrame(107, ""), std::nullopt},
        {"declares 5, holds 3", zstdFrame(5, "abc"), std::nullopt},
        {"declares 2, holds 3", zstdFrame(2, "abc"), std::nullopt},
        {"a whole frame, then one that declares 107 and holds nothing",
         encoded("zstd", "first") + zstdFrame(107, ""), std::nullopt},
        {"a small frame, then one that declares 107 and holds nothing", zstdFrame(3, "abc") + zstdFrame(107, ""),
         std::nullopt},
        {"declares 3, holds 3", zstdFrame(3, "abc"), QByteArray("abc")},
        {"declares 0, holds nothing", zstdFrame(0, ""), QByteArray()},
        {"declares nothing", zstdFrame(std::nullopt, "abcdef"), QByteArray("abcdef")},
        {"a skippable frame, then a frame", skippableFrame("ignored!") + zstdFrame(3, "abc"), QByteArray("abc")},
        {"two frames that hold what they declare", zstdFrame(3, "abc") + zstdFrame(2, "de"), QByteArray("abcde")},
    };
    for (const auto& row : rows) {
        // Pieces that end inside a frame header, or hold one frame's end and
        // the next one's start.
        for (const qsizetype split : {row.coded.size(), qsizetype(1), qsizetype(2), qsizetype(5), qsizetype(16)}) {
            SCOPED_TRACE(std::string(row.name) + ", fed in pieces of " + std::to_string(split));
            const Fed fed = feed("zstd", row.coded, split);
            if (row.decoded) {
                ASSERT_TRUE(fed.ok) << fed.error.toStdString();
                EXPECT_TRUE(fed.finished);
                EXPECT_EQ(fed.out, *row.decoded);
            } else {
                EXPECT_FALSE(fed.ok) << "read as a whole body of " << fed.out.size() << " bytes";
                EXPECT_TRUE(fed.error.startsWith(QStringLiteral("The response's compressed body is damaged")))
                    << fed.error.toStdString();
            }
        }
    }
}

// However far a small coded body expands, decoding stops within a piece of
// the limit, also through a list of codings whose outer one hands on many
// pieces.
TEST(ContentDecoder, DecodingStopsWithinAPieceOfTheLimit)
{
    const QByteArray spaces(8 * 1024 * 1024, ' ');
    const QByteArray text = Codings::sampleText(2 * 1024 * 1024);
    constexpr qint64 limit = 100 * 1000;
    const struct { const char* name; QByteArray label; QByteArray plain; QByteArray coded; } rows[] = {
        {"gzip", "gzip", spaces, encoded("gzip", spaces)},
        {"deflate", "deflate", spaces, encoded("deflate", spaces)},
        {"br", "br", spaces, encoded("br", spaces)},
        {"zstd", "zstd", spaces, encoded("zstd", spaces)},
        {"gzip then br", "gzip, br", spaces, encoded("br", encoded("gzip", spaces))},
        {"gzip twice", "gzip, gzip", text, encoded("gzip", encoded("gzip", text))},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ContentDecoder decoder(row.label);
        QByteArray out;
        EXPECT_TRUE(decoder.decode(row.coded, out, limit)) << decoder.errorString().toStdString();
        EXPECT_GT(out.size(), limit);
        EXPECT_LE(out.size(), limit + ContentDecoder::pieceSize);
        EXPECT_TRUE(row.plain.startsWith(out));
    }
}

} // namespace
