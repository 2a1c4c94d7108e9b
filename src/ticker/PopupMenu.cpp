#include "ticker/PopupMenu.h"

#include <QMenu>

namespace PopupMenu {

void show(std::unique_ptr<QMenu> menu, const QPoint& globalPos, const QObject* owner, std::function<void()> closed)
{
    // Deferred: the chosen action is triggered after the menu hid.
    QMenu* shown = menu.release();
    QObject::connect(shown, &QMenu::aboutToHide, shown, &QObject::deleteLater);
    if (owner && closed)
        QObject::connect(shown, &QMenu::aboutToHide, owner, closed, Qt::SingleShotConnection);
    shown->popup(globalPos);
    if (shown->isVisible())
        return;
    // Nothing showed, so nothing will hide.
    shown->deleteLater();
    if (owner && closed)
        closed();
}

} // namespace PopupMenu
