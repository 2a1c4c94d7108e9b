#pragma once

#include "ticker/CellPixmapCache.h"
#include "ticker/MarqueeCell.h"
#include "ticker/MarqueeMotion.h"

#include <QColor>
#include <QPoint>
#include <QPointF>
#include <QWidget>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

class MarqueeClock;
class QMenu;
class WindowExposure;

// The endless scroller of a strip: one widget that paints two copies of a
// row of cells end to end, 60 points apart, at the current phase. The row
// moves at speed × 60 points per second from an anchored clock and repaints
// only while it runs, is visible and its window is exposed, and only when the
// row moved by a whole device pixel, at most once per animation frame. On an
// opaque background a frame moves the pixels already painted and paints only
// the newly uncovered edge and what lies under the widgets laid over the row.
// The pointer resting on the strip pauses it; while paused the row can be
// scrubbed by dragging or with the wheel, and new content waits until the
// pointer leaves. A change of content, speed or pause keeps the on-screen
// phase. Main thread only.
class MarqueeNSView : public QWidget, public PaintedRowsSource {
    Q_OBJECT
public:
    static constexpr double gap = 60.0;

    // Bytes the cell pictures may take: the view's width on screen plus one
    // view width ahead, and room for the widest cell at either edge, at the
    // row's height and the pixel ratio (4 bytes a pixel).
    static qint64 pixmapBudget(double viewWidth, double widestCell, double rowHeight, qreal dpr);

    explicit MarqueeNSView(QWidget* parent = nullptr);
    explicit MarqueeNSView(MarqueeClock& clock, QWidget* parent = nullptr);
    ~MarqueeNSView() override;

    // The only way content reaches the view. Rebuilds only when the content
    // key, the size or the direction changed; new content while the pointer
    // rests on the strip waits until it leaves (a size or direction change
    // never waits). Then applies the speed and the run state.
    void updateContent(MarqueeContent content, int size, bool reversed, double speed);
    // Stops the motion for good (the owner is going away).
    void dismantle();
    // Redraws cells whose look may have changed (an icon arrived, an item
    // was read); only cells whose appearance value moved are re-rendered, and
    // only those on screen are painted again now, where the row is shown.
    // Cells' appearance values are read again only after this call.
    void cellsChanged();

    // The colour under the row. An opaque colour is painted by the scroller
    // itself, which lets frames move the painted row instead of repainting
    // it; a translucent one (the default: none) leaves the background to the
    // widgets beneath.
    void setBackground(const QColor& color);
    QColor background() const { return m_background; }

    // Where the pointer is, in global coordinates (default: QCursor::pos()).
    void setPointerSource(std::function<QPoint()> source);

    double stripWidth() const { return m_stripWidth; }
    double stripHeight() const { return m_stripHeight; }
    double period() const { return m_motion.period(); }
    double modelTx() const { return m_motion.modelTx(); }
    // The phase on screen now.
    double phase() const;
    double speed() const { return m_motion.speed(); }
    double pointsPerSecond() const { return m_motion.pointsPerSecond(); }
    bool isReversed() const { return m_reversed; }
    bool isHovering() const { return m_hovering; }
    bool isRunning() const { return m_motion.isRunning(); }
    bool isFrameTimerActive() const;
    // One tick of the frame timer: when the row moved to another device pixel
    // since it was last shown, moves the painted row (or asks for a repaint of
    // the track) and says whether it did.
    bool frameTick();
    // How the last frames reached the screen: by moving painted pixels, or by
    // repainting the track.
    int scrolledFrames() const { return m_scrolledFrames; }
    int repaintedFrames() const { return m_repaintedFrames; }
    // The parts of the track whose pixels a frame can move: the track cut
    // into horizontal bands where visible widgets stacked above the scroller
    // start or end, each band less the columns those widgets cover in it.
    // Top to bottom; empty bands are left out.
    QList<QRect> movableBands() const;
    bool hasPendingUpdate() const { return m_pending.has_value(); }
    const QStringList& itemKey() const { return m_itemKey; }
    const QStringList& pendingKey() const { return m_pendingKey; }
    int renderedSize() const { return m_renderedSize; }
    int rebuildCount() const { return m_rebuildCount; }
    int cellCount() const { return int(m_cells.size()); }
    MarqueeCell* cell(int index) const;

    // Where copy 0 (first) or 1 (second) draws cell `index` now.
    QRectF cellRect(int copy, int index) const;
    // The cell under `pos` (widget coordinates), or -1.
    int cellAt(const QPointF& pos) const;
    int hoveredCell() const { return m_hoveredCell; }
    // The context menu of the cell under `pos`; null when there is no cell.
    std::unique_ptr<QMenu> contextMenuAt(const QPoint& pos);

    // Each cell once, where the copy more on screen shows it now.
    QList<PaintedRow> accessibleRows() const override;

    // Paints both copies at the current phase.
    void paintStrip(QPainter& painter);
    const CellPixmapCache& pixmapCache() const { return m_pixmaps; }

Q_SIGNALS:
    // The pointer came to rest on the strip (true) or left it (false).
    void hoveringChanged(bool hovering);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    double now() const;
    double trackY() const;
    double copyOffset(int copy) const;
    void rebuildStrip(MarqueeContent content);
    void setSpeedValue(double speed);
    void setRunning(bool run);
    void applyPendingUpdate();
    void healHoverLatch(const char* reason);
    void pointerEntered();
    void pointerLeft();
    bool pointerInside(const QPoint& global) const;
    void setHovering(bool hovering);
    void setHoveredCell(int index);
    void scrub(double delta);
    void updateFrameTimer();
    void repaintAll();
    void paintStrip(QPainter& painter, double x0, const QRegion& area);
    void updatePixmapBudget(qreal dpr);
    bool moveShownRow(qint64 shift);
    qint64 deviceOffset() const;
    QRect trackRect() const;
    const QPixmap& renderedCell(int index, bool hovered, qreal dpr);

    MarqueeClock& m_clock;
    MarqueeMotion m_motion;
    MarqueeCells m_cells;
    // A cell's appearance value and the pixel ratio it was read for.
    struct Look {
        quint64 value;
        qreal dpr;
    };
    std::vector<std::optional<Look>> m_looks;  // per cell, until cellsChanged()
    QList<QRectF> m_cellRects;  // within one copy
    double m_stripWidth = 0;
    double m_stripHeight = 0;
    double m_widestCell = 0;
    qreal m_budgetDpr = 0;
    QStringList m_itemKey;
    int m_renderedSize = -1;
    bool m_reversed = false;
    std::optional<MarqueeContent> m_pending;
    QStringList m_pendingKey;
    bool m_hovering = false;
    bool m_dismantled = false;
    int m_rebuildCount = 0;
    int m_hoveredCell = -1;

    std::optional<QPointF> m_pressPos;
    QPointF m_lastDragPos;
    bool m_dragged = false;
    int m_pressedCell = -1;

    class FrameDriver;
    FrameDriver* m_frames;  // child
    // Device-pixel offset of the row as painted; paints use it so that moved
    // pixels and freshly painted ones agree. A whole repaint takes the phase
    // afresh.
    qint64 m_shownOffset = std::numeric_limits<qint64>::min();
    bool m_resyncOffset = true;
    int m_scrolledFrames = 0;
    int m_repaintedFrames = 0;
    QColor m_background = Qt::transparent;
    WindowExposure* m_exposure;  // child
    CellPixmapCache m_pixmaps{0};
    std::function<QPoint()> m_pointer;
};
