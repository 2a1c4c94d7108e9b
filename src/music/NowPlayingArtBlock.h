#pragma once

#include <QImage>
#include <QPointer>
#include <QUrl>
#include <QWidget>
#include <optional>

class FeedStore;
class ArtworkLoader;

// The current track's cover in the brand block, where the orb sits while
// music plays: a rounded square of the artwork (a note on a dark tile until
// it arrives) and, except at size 1, a 190 px column with the track over the
// artist. It fits the strip height of its size code (1 compact, 4 large, any
// other standard) and follows the store's track and artwork while it lives.
class NowPlayingArtBlock : public QWidget {
    Q_OBJECT
public:
    NowPlayingArtBlock(FeedStore& store, int size, std::optional<QUrl> artURL, ArtworkLoader& loader,
                       QWidget* parent = nullptr);
    // With the shared artwork loader.
    NowPlayingArtBlock(FeedStore& store, int size, std::optional<QUrl> artURL, QWidget* parent = nullptr);
    ~NowPlayingArtBlock() override;

    void setArtURL(const std::optional<QUrl>& url);
    const std::optional<QUrl>& artURL() const { return m_artURL; }
    int size() const { return m_size; }
    // Whether the artwork has arrived and is drawn.
    bool hasArtwork() const { return !m_art.isNull(); }

    // Side of the artwork square: 32 / 48 / 72.
    static int artSide(int size);
    // Whether the text column shows (every size but 1).
    static bool showsText(int size) { return size != 1; }
    static constexpr int textWidth = 190;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void load();

    QPointer<FeedStore> m_store;
    int m_size;
    std::optional<QUrl> m_artURL;
    ArtworkLoader& m_loader;
    QImage m_art;
};
