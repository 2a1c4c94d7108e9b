#pragma once

#include "ticker/MarqueeCell.h"

#include <QMenu>
#include <QPainter>
#include <QStringList>
#include <memory>

// A plain coloured cell that records what the scroller asks of it.
struct FakeCellLog {
    QStringList painted;  // "<name>" or "<name>+hover"
    QStringList clicked;
};

class FakeCell final : public MarqueeCell {
public:
    FakeCell(QString name, QSizeF size, std::shared_ptr<FakeCellLog> log, quint64* appearance = nullptr)
        : m_name(std::move(name)), m_size(size), m_log(std::move(log)), m_appearance(appearance)
    {
    }
    QSizeF idealSize() const override { return m_size; }
    quint64 appearance(qreal) const override { return m_appearance ? *m_appearance : 0; }
    void paint(QPainter& painter, const QRectF& rect, bool hovered) const override
    {
        painter.fillRect(rect, hovered ? Qt::yellow : Qt::blue);
        m_log->painted.append(hovered ? m_name + QStringLiteral("+hover") : m_name);
    }
    void click() override { m_log->clicked.append(m_name); }
    void fillContextMenu(QMenu& menu) override { menu.addAction(m_name); }

private:
    QString m_name;
    QSizeF m_size;
    std::shared_ptr<FakeCellLog> m_log;
    quint64* m_appearance;
};

// Content of cells named by `names`, each `width` × `height`.
inline MarqueeContent fakeContent(const QStringList& names, std::shared_ptr<FakeCellLog> log, double width = 200,
                                  double height = 40, quint64* appearance = nullptr)
{
    MarqueeContent content;
    content.key = names;
    content.makeCells = [names, log, width, height, appearance] {
        MarqueeCells cells;
        for (const QString& n : names)
            cells.push_back(std::make_unique<FakeCell>(n, QSizeF(width, height), log, appearance));
        return cells;
    };
    return content;
}
