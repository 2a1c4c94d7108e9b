#include "ambient/FullScreenWindowManager.h"

#include "ambient/AmbientBoardView.h"
#include "ambient/KeyableFullScreenWindow.h"
#include "platform/storage/Defaults.h"
#include "platform/x11/ScreenNumbers.h"
#include "store/FilterStore.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

FullScreenWindowManager::FullScreenWindowManager(Defaults& defaults, TickerRowContext context, FilterStore& filters,
                                                 QObject* parent)
    : QObject(parent), m_defaults(defaults), m_context(context), m_filters(filters)
{
}

FullScreenWindowManager::~FullScreenWindowManager()
{
    close();
}

FullScreenWindowManager& FullScreenWindowManager::shared()
{
    static FullScreenWindowManager* instance =
        new FullScreenWindowManager(Defaults::standard(), TickerRowContext::standard(), FilterStore::shared());
    return *instance;
}

QWidget* FullScreenWindowManager::window() const
{
    return m_window.data();
}

QScreen* FullScreenWindowManager::boardScreen() const
{
    if (QScreen* chosen = ScreenNumbers::screenForMonitorID(m_defaults.stringValue(PreferredMonitorKey)))
        return chosen;
    if (QScreen* primary = QGuiApplication::primaryScreen())
        return primary;
    const auto screens = QGuiApplication::screens();
    return screens.isEmpty() ? nullptr : screens.first();
}

void FullScreenWindowManager::show(FeedStore& store)
{
    if (m_window)
        return;
    QScreen* screen = boardScreen();
    if (!screen)
        return;

    auto* window = new KeyableFullScreenWindow();
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(QStringLiteral("Tidewire"));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new AmbientBoardView(store, m_context, m_filters, window));
    // Closed some other way (the window manager): forget it the same way.
    // The window is half destroyed by now: drop the pointer before close()
    // so that nothing of it is touched.
    connect(window, &QObject::destroyed, this, [this] {
        if (!m_monitoringEscape)
            return;
        m_window.clear();
        close();
        Q_EMIT closed();
    });
    m_window = window;

    window->setGeometry(screen->geometry());
    window->winId();
    window->windowHandle()->setScreen(screen);
    window->showFullScreen();
    window->raise();
    window->activateWindow();

    qApp->installEventFilter(this);
    m_monitoringEscape = true;
    Q_EMIT opened();
}

void FullScreenWindowManager::close()
{
    if (m_monitoringEscape) {
        qApp->removeEventFilter(this);
        m_monitoringEscape = false;
    }
    m_openedByIdle = false;
    if (!m_window)
        return;
    QPointer<KeyableFullScreenWindow> window = m_window;
    m_window.clear();
    window->hide();
    window->deleteLater();
    Q_EMIT closed();
}

bool FullScreenWindowManager::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && m_window) {
        close();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
