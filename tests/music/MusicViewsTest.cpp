#include "MusicHarness.h"
#include "music/ArtworkLoader.h"
#include "music/ListeningChip.h"
#include "music/NowPlayingArtBlock.h"
#include "music/NowPlayingChip.h"

#include <QBuffer>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

QByteArray png(const QColor& color, int side = 60)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void clickAt(QWidget& widget, const QPointF& point)
{
    QTest::mouseClick(&widget, Qt::LeftButton, {}, point.toPoint());
}

struct ChipText {
    const char* artist;
    const char* track;
    const char* text;
};

TEST(NowPlayingChip, TextNamesArtistAndTrackOnce)
{
    const ChipText cases[] = {
        {"Björk", "Hyperballad", "Björk — Hyperballad"},
        {"Radio One", "Radio One", "Radio One"},  // players without a title repeat the artist
        {"Radio One", "", "Radio One"},
        {"<b>AC&DC</b>", "T.N.T.", "<b>AC&DC</b> — T.N.T."},  // shown as typed, never as markup
    };
    for (const auto& c : cases) {
        NowPlayingChip chip(S(c.artist), S(c.track), [] {});
        EXPECT_EQ(chip.text(), S(c.text)) << c.artist;
    }
}

TEST(NowPlayingChip, OnlyTheCloseButtonDetaches)
{
    int exits = 0;
    NowPlayingChip chip(S("Air"), S("Playground Love"), [&] { ++exits; });
    chip.resize(chip.sizeHint());
    clickAt(chip, QPointF(12, chip.height() / 2.0));
    EXPECT_EQ(exits, 0);
    clickAt(chip, chip.closeButtonRect().center());
    EXPECT_EQ(exits, 1);
}

TEST(NowPlayingChip, LongTitlesAreElidedToABoundedWidth)
{
    NowPlayingChip shortChip(S("Air"), S("Alpha"), [] {});
    NowPlayingChip longChip(S("Air"), QString(400, QLatin1Char('x')), [] {});
    EXPECT_LT(shortChip.sizeHint().width(), longChip.sizeHint().width());
    EXPECT_LE(longChip.sizeHint().width(), 320 + 60);
    longChip.setTrack(S("Air"), S("Alpha"));
    EXPECT_EQ(longChip.sizeHint(), shortChip.sizeHint());
}

TEST(ListeningChip, SaysListeningAndItsCloseButtonSwitchesOff)
{
    int exits = 0;
    ListeningChip chip([&] { ++exits; });
    EXPECT_EQ(chip.text(), S("Listening…"));
    chip.resize(chip.sizeHint());
    clickAt(chip, QPointF(10, chip.height() / 2.0));
    EXPECT_EQ(exits, 0);
    clickAt(chip, chip.closeButtonRect().center());
    EXPECT_EQ(exits, 1);
}

TEST(NowPlayingArtBlock, FitsTheStripHeightOfItsSize)
{
    struct Case {
        int size;
        QSize hint;
        bool text;
    };
    const Case cases[] = {
        {1, {32, 48}, false},
        {2, {48 + 10 + 190, 72}, true},
        {4, {72 + 10 + 190, 108}, true},
        {3, {48 + 10 + 190, 72}, true},  // any other code draws standard
        {0, {48 + 10 + 190, 72}, true},
    };
    MusicStore music;
    ArtworkLoader loader(&music.network);
    for (const auto& c : cases) {
        NowPlayingArtBlock block(*music.store, c.size, std::nullopt, loader);
        EXPECT_EQ(block.sizeHint(), c.hint) << "size " << c.size;
        EXPECT_EQ(NowPlayingArtBlock::showsText(c.size), c.text) << "size " << c.size;
    }
}

class ArtBlockLoading : public ::testing::Test {
protected:
    ArtBlockLoading()
    {
        music.server.route(QStringLiteral("/red.png"), LoopbackServer::Response::text(png(Qt::red), "image/png"));
        music.server.route(QStringLiteral("/blue.png"), LoopbackServer::Response::text(png(Qt::blue), "image/png"));
        music.server.route(QStringLiteral("/broken.png"), LoopbackServer::Response::text("not an image", "image/png"));
    }
    QColor centreOf(NowPlayingArtBlock& block)
    {
        block.resize(block.sizeHint());
        const QImage shot = block.grab().toImage();
        const int side = NowPlayingArtBlock::artSide(block.size());
        return shot.pixelColor(side / 2, block.height() / 2);
    }

    MusicStore music;
    ArtworkLoader loader{&music.network};
};

TEST_F(ArtBlockLoading, DrawsTheArtworkOnceItArrives)
{
    NowPlayingArtBlock block(*music.store, 2, music.server.url(S("red.png")), loader);
    EXPECT_FALSE(block.hasArtwork());
    ASSERT_TRUE(MusicStore::waitUntil([&] { return block.hasArtwork(); }));
    EXPECT_EQ(centreOf(block), QColor(Qt::red));

    // A second block for the same cover needs no second download.
    NowPlayingArtBlock again(*music.store, 1, music.server.url(S("red.png")), loader);
    EXPECT_TRUE(again.hasArtwork());
    EXPECT_EQ(music.server.requestCount(QStringLiteral("/red.png")), 1);
}

TEST_F(ArtBlockLoading, FollowsTheStoresArtwork)
{
    music.store->setNowPlaying(S("Mogwai"), S("Take Me Somewhere Nice"), music.server.url(S("red.png")));
    NowPlayingArtBlock block(*music.store, 4, music.store->nowPlayingArtworkURL(), loader);
    ASSERT_TRUE(MusicStore::waitUntil([&] { return block.hasArtwork(); }));

    music.store->setNowPlaying(S("Slowdive"), S("Alison"), music.server.url(S("blue.png")));
    EXPECT_EQ(block.artURL(), std::optional<QUrl>(music.server.url(S("blue.png"))));
    EXPECT_FALSE(block.hasArtwork()) << "the old cover must not stand for the new track";
    ASSERT_TRUE(MusicStore::waitUntil([&] { return block.hasArtwork(); }));
    EXPECT_EQ(centreOf(block), QColor(Qt::blue));

    music.store->clearNowPlaying();
    EXPECT_FALSE(block.artURL().has_value());
    EXPECT_FALSE(block.hasArtwork());
}

TEST_F(ArtBlockLoading, BadArtworkLeavesThePlaceholder)
{
    struct Case {
        const char* name;
        QUrl url;
        bool requested;
    };
    const Case cases[] = {
        {"not an image", music.server.url(S("broken.png")), true},
        {"missing", music.server.url(S("gone.png")), true},
        {"not http", QUrl(S("file:///etc/passwd")), false},
    };
    for (const auto& c : cases) {
        QSignalSpy failed(&loader, &ArtworkLoader::failed);
        NowPlayingArtBlock block(*music.store, 2, c.url, loader);
        if (c.requested)
            ASSERT_TRUE(MusicStore::waitUntil([&] { return failed.count() == 1; })) << c.name;
        EXPECT_FALSE(block.hasArtwork()) << c.name;
        EXPECT_NE(centreOf(block), QColor(Qt::red)) << c.name;
    }
    EXPECT_EQ(music.server.requestCount(QStringLiteral("/etc/passwd")), 0);
}

} // namespace
