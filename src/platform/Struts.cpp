#include "platform/Struts.h"

#include <algorithm>
#include <array>
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

// A stated depth deeper than every present reservation is the window
// manager's own, unless it is exactly one seen a moment ago: then it may be
// a work area not yet told of that reservation's change, and what was
// learned before stands. One that a present reservation explains is the
// clients' or the strip's; where none is the strip's, the window manager
// reserves nothing deeper there.
void learnEdge(int& learned, int stated, int clients, int own, const QList<int>& recent)
{
    const int present = std::max(clients, own);
    if (stated > present && !recent.contains(stated))
        learned = stated;
    else if (own == 0 && stated <= present)
        learned = 0;
}

void remember(QList<int>& seen, int depth)
{
    if (!seen.contains(depth))
        seen.append(depth);
}

} // namespace

void WindowManagerEdges::learn(const QRect& workArea, const QSize& root, const EdgeInsets& clients,
                               const EdgeInsets& own)
{
    if (workArea.isEmpty())
        return;
    // The reservations the work area may still show: those seen while it
    // was the same, and while it was the one before.
    if (workArea != m_workArea) {
        m_workArea = workArea;
        m_before = m_seen;
        m_seen = {};
    }
    const std::array<int, 4> stated{std::max(0, workArea.left()), std::max(0, root.width() - 1 - workArea.right()),
                                    std::max(0, workArea.top()), std::max(0, root.height() - 1 - workArea.bottom())};
    const std::array<int, 4> theirs{clients.left, clients.right, clients.top, clients.bottom};
    const std::array<int, 4> ours{own.left, own.right, own.top, own.bottom};
    std::array<int*, 4> learned{&m_insets.left, &m_insets.right, &m_insets.top, &m_insets.bottom};
    for (size_t edge = 0; edge < 4; ++edge) {
        remember(m_seen[edge], std::max(theirs[edge], ours[edge]));
        learnEdge(*learned[edge], stated[edge], theirs[edge], ours[edge],
                  m_seen[edge] + m_before[edge] + m_reserved[edge]);
    }
}

void WindowManagerEdges::reserved(const EdgeInsets& own)
{
    const std::array<int, 4> depths{own.left, own.right, own.top, own.bottom};
    for (size_t edge = 0; edge < 4; ++edge) {
        QList<int>& kept = m_reserved[edge];
        if (depths[edge] <= 0 || kept.contains(depths[edge]))
            continue;
        kept.append(depths[edge]);
        if (kept.size() > 8)
            kept.removeFirst();
    }
}

QRect WindowManagerEdges::apply(QRect area, const QSize& root) const
{
    area.setLeft(std::max(area.left(), m_insets.left));
    area.setRight(std::min(area.right(), root.width() - 1 - m_insets.right));
    area.setTop(std::max(area.top(), m_insets.top));
    area.setBottom(std::min(area.bottom(), root.height() - 1 - m_insets.bottom));
    return area;
}
