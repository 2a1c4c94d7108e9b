#pragma once

#include "api/ItemModels.h"

#include <QWidget>

class FaviconStore;
class QPainter;

// A headline's source icon: the site's favicon, grey-scaled on a white
// disc, or a radio-waves symbol in the item's tint while there is none (and
// then it asks the favicon store for the icon). Size codes as for rows:
// 1 compact, 4 large, any other standard.
class TickerIconView : public QWidget {
    Q_OBJECT
public:
    static constexpr int faviconSize = 128;

    TickerIconView(FeedItem item, int size, FaviconStore& favicons, QWidget* parent = nullptr);
    TickerIconView(FeedItem item, int size, QWidget* parent = nullptr);

    // The favicon store key of the item: its host label, "_", 128. An item
    // without a host is keyed by its source's icon address instead (hashed,
    // so that the key is a plain file name), which keeps the pictures of two
    // sources apart. Empty with neither: the item shows the placeholder.
    static QString hostKey(const FeedItem& item);
    // What the store is asked with for the item's key: the host label, or
    // the name standing for the icon address; empty with neither.
    static QString iconHost(const FeedItem& item);
    // The side of the whole square: 28 / 40 / 54.
    static double side(int size);
    // Paints the icon centred in `square`; asks for the favicon when it is missing.
    static void paint(QPainter& painter, const QRectF& square, const FeedItem& item, int size, FaviconStore& favicons);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    FeedItem m_item;
    int m_size;
    FaviconStore& m_favicons;
};
