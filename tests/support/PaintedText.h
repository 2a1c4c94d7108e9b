#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <functional>

class QPainter;
class QWidget;

// The texts a painter is asked to draw, as its paint engine gets them: one
// run of one direction and font at a time, where it starts on its baseline.
// Tests read from them what a reader sees (which characters stand where on a
// line) without comparing pixels.
namespace PaintedText {

struct Run {
    QPointF origin;  // the run's left end on its baseline, in the painted area's coordinates
    double width = 0;
    QString text;    // the run's characters in logical order
    bool rightToLeft = false;
};

// What `paint` draws, given a fresh painter on an area of `size`.
QList<Run> record(QSize size, const std::function<void(QPainter&)>& paint);
// What `widget` and its children draw when they paint themselves.
QList<Run> record(QWidget& widget);

// The characters of the runs whose baseline lies in `area`, as the eye reads
// them from left to right: the runs by their left ends, a right-to-left run's
// characters reversed (by code point), invisible formatting characters left
// out.
QString leftToRight(const QList<Run>& runs, const QRectF& area);

// The runs by line, top to bottom: the runs on one baseline (up to
// rounding), in the order they were drawn.
QList<QList<Run>> lines(const QList<Run>& runs);

// What the lines say, top to bottom, each read as above, without white
// space: a wrapped text as a reader reads it, wherever a font breaks it.
QString readDown(const QList<Run>& runs);

// `text` set alone as a paragraph in `direction` (by default its own), read
// from left to right as above.
QString leftToRight(const QString& text, Qt::LayoutDirection direction = Qt::LayoutDirectionAuto);

} // namespace PaintedText
