#pragma once

#include <memory>

class QMenu;
class TickerView;

// The strip's context menu: mini mode, the second strip and its look, the
// board, search, an immediate refresh, the main strip's placement, size,
// speed, mix and background, the music switches, the update offer, settings
// and quit. Built afresh for every opening, so every check mark and entry
// reflects the stored settings and the store at that moment.
namespace StripContextMenu {

std::unique_ptr<QMenu> build(TickerView& view);

} // namespace StripContextMenu
