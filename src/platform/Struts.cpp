#include "platform/Struts.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <utility>

namespace {

int toInt(uint32_t value)
{
    return int(std::min<uint32_t>(value, uint32_t(std::numeric_limits<int>::max())));
}

// The first and last pixel along an edge of `whole` pixels that a strut's
// range covers; none for a reversed range.
std::optional<std::pair<int, int>> span(uint32_t start, uint32_t end, int whole)
{
    if (start == 0 && end == 0)
        return std::pair(0, whole - 1);
    if (end < start)
        return std::nullopt;
    return std::pair(toInt(start), toInt(end));
}

} // namespace

QRect subtractStrut(QRect area, const PartialStrut& s, const QSize& root)
{
    const int width = root.width();
    const int height = root.height();
    if (const auto range = span(s.topStartX, s.topEndX, width); s.top > 0 && range) {
        const int top = toInt(s.top);
        if (QRect(QPoint(range->first, 0), QPoint(range->second, top - 1)).intersects(area))
            area.setTop(std::max(area.top(), top));
    }
    if (const auto range = span(s.bottomStartX, s.bottomEndX, width); s.bottom > 0 && range) {
        const int bottom = toInt(s.bottom);
        if (QRect(QPoint(range->first, height - bottom), QPoint(range->second, height - 1)).intersects(area))
            area.setBottom(std::min(area.bottom(), height - bottom - 1));
    }
    if (const auto range = span(s.leftStartY, s.leftEndY, height); s.left > 0 && range) {
        const int left = toInt(s.left);
        if (QRect(QPoint(0, range->first), QPoint(left - 1, range->second)).intersects(area))
            area.setLeft(std::max(area.left(), left));
    }
    if (const auto range = span(s.rightStartY, s.rightEndY, height); s.right > 0 && range) {
        const int right = toInt(s.right);
        if (QRect(QPoint(width - right, range->first), QPoint(width - 1, range->second)).intersects(area))
            area.setRight(std::min(area.right(), width - right - 1));
    }
    return area;
}

EdgeInsets deepestInsets(const QList<PartialStrut>& struts)
{
    EdgeInsets deepest;
    for (const PartialStrut& s : struts) {
        deepest.left = std::max(deepest.left, toInt(s.left));
        deepest.right = std::max(deepest.right, toInt(s.right));
        deepest.top = std::max(deepest.top, toInt(s.top));
        deepest.bottom = std::max(deepest.bottom, toInt(s.bottom));
    }
    return deepest;
}

namespace {

// A stated depth deeper than any reservation the work area may still show is
// the window manager's own. One that a present reservation explains is the
// clients' or the strip's; where that is no longer the strip's, the window
// manager reserves nothing deeper there. One only a former reservation
// explains may be a work area not yet told of a change: what was learned
// before stands.
void learnEdge(int& learned, int stated, int clients, int own, int formerly)
{
    const int present = std::max(clients, own);
    if (stated > std::max(present, formerly))
        learned = stated;
    else if (own == 0 && stated <= present)
        learned = 0;
}

int deepest(int a, int b, int c)
{
    return std::max({a, b, c});
}

} // namespace

void WindowManagerEdges::learn(const QRect& workArea, const QSize& root, const EdgeInsets& clients,
                               const EdgeInsets& own)
{
    if (workArea.isEmpty())
        return;
    // The reservations the work area may still show: every one seen since
    // it last changed.
    if (workArea != m_workArea) {
        m_workArea = workArea;
        m_shown = {};
    }
    m_shown = {deepest(m_shown.left, clients.left, own.left), deepest(m_shown.right, clients.right, own.right),
               deepest(m_shown.top, clients.top, own.top), deepest(m_shown.bottom, clients.bottom, own.bottom)};
    learnEdge(m_insets.left, std::max(0, workArea.left()), clients.left, own.left, m_shown.left);
    learnEdge(m_insets.right, std::max(0, root.width() - 1 - workArea.right()), clients.right, own.right,
              m_shown.right);
    learnEdge(m_insets.top, std::max(0, workArea.top()), clients.top, own.top, m_shown.top);
    learnEdge(m_insets.bottom, std::max(0, root.height() - 1 - workArea.bottom()), clients.bottom, own.bottom,
              m_shown.bottom);
}

QRect WindowManagerEdges::apply(QRect area, const QSize& root) const
{
    area.setLeft(std::max(area.left(), m_insets.left));
    area.setRight(std::min(area.right(), root.width() - 1 - m_insets.right));
    area.setTop(std::max(area.top(), m_insets.top));
    area.setBottom(std::min(area.bottom(), root.height() - 1 - m_insets.bottom));
    return area;
}
