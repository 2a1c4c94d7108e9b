#pragma once

#include <QRect>
#include <QSize>
#include <QList>
#include <array>
#include <climits>
#include <cstdint>

// The edges one client reserves (EWMH _NET_WM_STRUT_PARTIAL), in the root
// window's pixels: a thickness per edge measured from the root's own edge,
// and the range along that edge it covers. A range of 0..0 is the whole edge,
// as an old-style _NET_WM_STRUT (thicknesses only) has it.
struct PartialStrut {
    uint32_t left = 0;
    uint32_t right = 0;
    uint32_t top = 0;
    uint32_t bottom = 0;
    uint32_t leftStartY = 0;
    uint32_t leftEndY = 0;
    uint32_t rightStartY = 0;
    uint32_t rightEndY = 0;
    uint32_t topStartX = 0;
    uint32_t topEndX = 0;
    uint32_t bottomStartX = 0;
    uint32_t bottomEndX = 0;
};

// What is left of `area` (root pixels) once the edges of `strut` that touch
// it are taken off; `root` is the root window's size. A reserved edge that
// misses `area` leaves it as it is; a range whose end lies before its start
// reserves nothing.
QRect subtractStrut(QRect area, const PartialStrut& strut, const QSize& root);

// How far in from each edge of the root window a reservation reaches, in
// root pixels.
struct EdgeInsets {
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
};

// The deepest reservation per root edge among `struts` that reaches no
// deeper than `within` on that edge, whatever range along the edge each
// covers.
EdgeInsets deepestInsets(const QList<PartialStrut>& struts,
                         const EdgeInsets& within = {INT_MAX, INT_MAX, INT_MAX, INT_MAX});

enum class RootEdge { Left, Right, Top, Bottom };

// What the window manager reserves on its own (its own bars, configured
// margins), which it states only through the work area it publishes: the
// work area reaches in as far as the deepest reservation on each edge,
// clients' or its own. Where the work area reaches deeper than every
// present reservation, that depth is the window manager's own. Where a
// client's or the strip's reservation reaches as deep as the work area, the
// window manager's own lies hidden beneath it: what was seen of it before
// is kept (a bar is taken not to change while hidden), and an edge where it
// was never seen is kept clear up to that depth until it can be seen. It
// can once nothing else covers that depth but the strip's own reservation:
// the strip then takes that back for a look (startLook()) until the work
// area answers. A work area the window manager has not yet brought up to
// date (it still shows a reservation that has changed since) teaches
// nothing.
//
// The work area is one rectangle for all monitors. Some window managers
// (fluxbox) take each edge in as deep as any reservation along it reaches,
// others (IceWM) only as deep as those on one monitor do, so a reservation
// reaching deeper than the work area on its edge is one it does not count.
// A bar is kept clear of only on the monitors it lies on: the window
// manager's own windows within the depth kept clear along an edge tell
// where; along the whole edge where none lies within it.
class WindowManagerEdges {
public:
    // Takes in a work area (root pixels) of a root of `root` size, given the
    // deepest of the other clients' reservations and the strip's own that
    // it counts.
    void learn(const QRect& workArea, const QSize& root, const EdgeInsets& clients, const EdgeInsets& own);
    // The same from the reservations themselves, whatever monitor each
    // lies on.
    void learnStruts(const QRect& workArea, const QSize& root, const QList<PartialStrut>& clients,
                     const QList<PartialStrut>& own);
    // Tells of a reservation the strip has just made. The work area may go
    // on showing it after the strip has moved, or after that window has
    // gone, so a depth the strip reserved lately is never taken for the
    // window manager's own.
    void reserved(const EdgeInsets& own);
    // What apply() keeps clear of on each edge.
    EdgeInsets insets() const;
    // `area` (root pixels) without what the window manager reserves, or
    // may reserve unseen, along the parts of each edge its own `windows`
    // (root pixels, borders included) within that depth cover.
    QRect apply(QRect area, const QSize& root, const QList<QRect>& windows = {}) const;

    // Whether the strip, reserving `edge`, should take its reservation back
    // for a look: what the window manager reserves there was never seen,
    // and, as far as the latest work area tells, only the strip's own
    // reservation now covers it. Once per depth that hides it.
    bool wantsLook(RootEdge edge) const;
    // The strip has taken back its reservation on `edge` to look.
    void startLook(RootEdge edge);
    // Whether a look is under way: the work area has not changed since it
    // began, and it was not given up.
    bool looking() const { return m_looking; }
    void endLook() { m_looking = false; }

private:
    enum class Seen { Never, Exactly, AtMost };
    // How far in from each edge of the root the work area reaches.
    static EdgeInsets reachOf(const QRect& workArea, const QSize& root);
    struct Side {
        Seen seen = Seen::Never;
        int depth = 0;         // exactly, or the most it may be
        int clients = 0;       // the other clients' deepest, at the latest look
        bool looked = false;   // a look was taken at this depth
    };
    void learnSide(Side& side, int stated, int clients, int own, const QList<int>& recent);
    static void set(Side& side, Seen seen, int depth);

    std::array<Side, 4> m_sides;  // left, right, top, bottom
    QRect m_workArea;  // the last work area taken in
    // Per edge, the deepest present reservation at each look while that
    // work area stood, and while the one before did.
    std::array<QList<int>, 4> m_seen;
    std::array<QList<int>, 4> m_before;
    std::array<QList<int>, 4> m_reserved;  // the strip's latest reservations
    bool m_looking = false;
    QRect m_lookFrom;  // the work area when the look began
};
