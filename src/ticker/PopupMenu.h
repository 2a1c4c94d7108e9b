#pragma once

#include <QPoint>
#include <functional>
#include <memory>

class QMenu;
class QObject;

// Shows a context menu without a nested event loop. A menu run with exec()
// returns into the widget that opened it, and a model change handled while
// the menu showed may have deleted that widget by then; here the call
// returns at once and nothing runs on the widget after the menu.
//
// The menu is handed over: it stays with its Qt parent, if it has one (and
// goes with it), and deletes itself once it has hidden and its chosen action
// has run.
namespace PopupMenu {

// `closed` runs when the menu hides, unless `owner` is gone by then; also
// at once when the menu cannot show.
void show(std::unique_ptr<QMenu> menu, const QPoint& globalPos, const QObject* owner = nullptr,
          std::function<void()> closed = {});

} // namespace PopupMenu
