#include "platform/x11/Struts.h"

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

EdgeInsets deepestInsets(const QList<PartialStrut>& struts, const EdgeInsets& within)
{
    auto deeper = [](int deepest, uint32_t depth, int limit) {
        const int value = toInt(depth);
        return value <= limit ? std::max(deepest, value) : deepest;
    };
    EdgeInsets deepest;
    for (const PartialStrut& s : struts) {
        deepest.left = deeper(deepest.left, s.left, within.left);
        deepest.right = deeper(deepest.right, s.right, within.right);
        deepest.top = deeper(deepest.top, s.top, within.top);
        deepest.bottom = deeper(deepest.bottom, s.bottom, within.bottom);
    }
    return deepest;
}

namespace {

void remember(QList<int>& seen, int depth)
{
    if (!seen.contains(depth))
        seen.append(depth);
}

} // namespace

void WindowManagerEdges::set(Side& side, Seen seen, int depth)
{
    if (side.seen == seen && side.depth == depth)
        return;
    side.seen = seen;
    side.depth = depth;
    side.looked = false;
}

// A stated depth deeper than every present reservation is the window
// manager's own, unless it is exactly one seen a moment ago: then it may be
// a work area not yet told of that reservation's change, and what was
// learned before stands. Any other stated depth is as deep as a present
// reservation, which may hide the window manager's own: that is no deeper
// than the stated depth (none at all, where that is 0). A depth learned
// exactly as deep as a client's present reservation may have been that
// client's, in a work area that told of it before the client list did
// (fluxbox): it is only the most the window manager's own may be.
void WindowManagerEdges::learnSide(Side& side, int stated, int clients, int own, const QList<int>& recent)
{
    side.clients = clients;
    const int present = std::max(clients, own);
    if (stated > present) {
        if (!recent.contains(stated))
            set(side, Seen::Exactly, stated);
    } else if (side.seen == Seen::Never) {
        set(side, Seen::AtMost, stated);
    } else if (side.depth > stated || (side.seen == Seen::Exactly && side.depth == clients)) {
        set(side, Seen::AtMost, std::min(side.depth, stated));
    }
}

EdgeInsets WindowManagerEdges::reachOf(const QRect& workArea, const QSize& root)
{
    return {std::max(0, workArea.left()), std::max(0, root.width() - 1 - workArea.right()),
            std::max(0, workArea.top()), std::max(0, root.height() - 1 - workArea.bottom())};
}

void WindowManagerEdges::learnStruts(const QRect& workArea, const QSize& root, const QList<PartialStrut>& clients,
                                     const QList<PartialStrut>& own)
{
    const EdgeInsets reach = reachOf(workArea, root);
    learn(workArea, root, deepestInsets(clients, reach), deepestInsets(own, reach));
}

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
    if (m_looking && workArea != m_lookFrom)
        m_looking = false;  // answered
    const EdgeInsets reach = reachOf(workArea, root);
    const std::array<int, 4> stated{reach.left, reach.right, reach.top, reach.bottom};
    const std::array<int, 4> theirs{clients.left, clients.right, clients.top, clients.bottom};
    const std::array<int, 4> ours{own.left, own.right, own.top, own.bottom};
    for (size_t edge = 0; edge < 4; ++edge) {
        remember(m_seen[edge], std::max(theirs[edge], ours[edge]));
        learnSide(m_sides[edge], stated[edge], theirs[edge], ours[edge],
                  m_seen[edge] + m_before[edge] + m_reserved[edge]);
    }
}

bool WindowManagerEdges::wantsLook(RootEdge edge) const
{
    const Side& side = m_sides[size_t(edge)];
    return side.seen == Seen::AtMost && side.clients < side.depth && !side.looked;
}

void WindowManagerEdges::startLook(RootEdge edge)
{
    m_sides[size_t(edge)].looked = true;
    m_looking = true;
    m_lookFrom = m_workArea;
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

EdgeInsets WindowManagerEdges::insets() const
{
    return {m_sides[0].depth, m_sides[1].depth, m_sides[2].depth, m_sides[3].depth};
}

QRect WindowManagerEdges::apply(QRect area, const QSize& root, const QList<QRect>& windows) const
{
    const EdgeInsets kept = insets();
    const QRect whole(QPoint(0, 0), root);
    // Whether the part of an edge kept clear in `band` meets `area` along
    // the edge: where a window of the window manager's within the band
    // lies, or anywhere when none does.
    auto reaches = [&](const QRect& band, Qt::Orientation along) {
        if (band.isEmpty())
            return false;
        bool found = false;
        for (const QRect& window : windows) {
            const QRect shown = window.intersected(whole);
            if (shown.isEmpty() || !band.contains(shown))
                continue;
            found = true;
            const bool meets = along == Qt::Horizontal
                                   ? shown.left() <= area.right() && shown.right() >= area.left()
                                   : shown.top() <= area.bottom() && shown.bottom() >= area.top();
            if (meets)
                return true;
        }
        return !found;
    };
    const int width = root.width();
    const int height = root.height();
    if (reaches(QRect(0, 0, kept.left, height), Qt::Vertical))
        area.setLeft(std::max(area.left(), kept.left));
    if (reaches(QRect(width - kept.right, 0, kept.right, height), Qt::Vertical))
        area.setRight(std::min(area.right(), width - 1 - kept.right));
    if (reaches(QRect(0, 0, width, kept.top), Qt::Horizontal))
        area.setTop(std::max(area.top(), kept.top));
    if (reaches(QRect(0, height - kept.bottom, width, kept.bottom), Qt::Horizontal))
        area.setBottom(std::min(area.bottom(), height - 1 - kept.bottom));
    return area;
}
