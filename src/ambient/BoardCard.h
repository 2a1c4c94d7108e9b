#pragma once

#include "api/ItemModels.h"
#include "ticker/TickerRow.h"

#include <QWidget>

class QLabel;

// One headline on the board: the source icon and the meta line on top, the
// article picture when there is one, and the cleaned title. All text is plain.
// A click opens the link and marks the item read.
class BoardCard : public QWidget {
    Q_OBJECT
public:
    static constexpr int iconSize = 4;  // the large row icon
    static constexpr double thumbnailHeight = 120;

    BoardCard(FeedItem item, TickerRowContext context, QWidget* parent = nullptr);

    const FeedItem& item() const { return m_item; }
    QString titleText() const;
    QString metaText() const;
    bool hasThumbnail() const { return m_hasThumbnail; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    FeedItem m_item;
    TickerRowContext m_context;
    QLabel* m_title;
    QLabel* m_meta;
    bool m_hasThumbnail = false;
};
