#pragma once

#include <QRect>
#include <QSize>
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
