#include "app/SettingsWindowManager.h"

#include "app/FirstFrameProbe.h"
#include "app/Screens.h"
#include "app/TickerWindowController.h"
#include "app/WindowFrame.h"
#include "platform/storage/Defaults.h"
#include "platform/base/Logging.h"
#include "platform/session/MemoryRelief.h"
#include "platform/session/NotificationCenter.h"
#include "platform/storage/SettingsCatalogue.h"
#include "settings/SettingsView.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QJsonObject>
#include <QListWidget>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWindow>

namespace {

constexpr int kMinWidth = 820;
constexpr int kMinHeight = 620;
constexpr int kMaxWidth = 1240;
constexpr int kMaxHeight = 900;
const QRect kNoScreenFrame(0, 0, 1440, 780);
const QString kTitle = QStringLiteral("Tidewire Settings");

QPalette darkPalette(QPalette palette)
{
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Base, QColor(0x16, 0x18, 0x1D));
    palette.setColor(QPalette::AlternateBase, QColor(0x1E, 0x21, 0x28));
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::Button, QColor(0x2A, 0x2D, 0x35));
    palette.setColor(QPalette::ButtonText, Qt::white);
    palette.setColor(QPalette::Highlight, QColor::fromRgbF(0.4f, 0.6f, 1.0f));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::PlaceholderText, QColor(255, 255, 255, 110));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(255, 255, 255, 90));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(255, 255, 255, 90));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(255, 255, 255, 90));
    return palette;
}

} // namespace

SettingsWindowManager::SettingsWindowManager(Defaults& defaults, std::function<QWidget*()> tickerWindow,
                                             QObject* parent)
    : QObject(parent), m_defaults(defaults), m_tickerWindow(std::move(tickerWindow))
{
    // Quitting with the window open keeps its frame too.
    if (QCoreApplication::instance())
        connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
            if (m_window)
                saveFrame(m_window);
        });
}

SettingsWindowManager& SettingsWindowManager::shared()
{
    static auto* manager =
        new SettingsWindowManager(Defaults::standard(), [] { return TickerWindowController::shared().window(); });
    return *manager;
}

QSize SettingsWindowManager::windowSize(const std::optional<QRect>& visible)
{
    const QRect frame = visible.value_or(kNoScreenFrame);
    return {std::min(std::max(frame.width() - 100, kMinWidth), kMaxWidth),
            std::min(std::max(frame.height() - 40, kMinHeight), kMaxHeight)};
}

QScreen* SettingsWindowManager::targetScreen() const
{
    if (QWidget* ticker = m_tickerWindow ? m_tickerWindow() : nullptr)
        if (QScreen* screen = ticker->screen(); screen && QGuiApplication::screens().contains(screen))
            return screen;
    if (QScreen* chosen = Screens::screen(Settings::preferredMonitor.read(m_defaults)))
        return chosen;
    if (QScreen* primary = QGuiApplication::primaryScreen())
        return primary;
    const QList<QScreen*> screens = QGuiApplication::screens();
    return screens.isEmpty() ? nullptr : screens.first();
}

void SettingsWindowManager::show(FeedStore& store, std::optional<SettingsTab> tab)
{
    qCDebug(lcLaunch, "settings window requested");
    if (tab)
        m_initialTab = *tab;
    if (m_window) {
        if (tab)
            NotificationCenter::shared().post(SettingsTabs::selectTabNotification,
                                              {{SettingsTabs::selectTabKey, SettingsTabs::title(*tab)}});
        centre(m_window);
        WindowFrame::fitInsideWorkArea(m_window);
        activate(m_window);
        return;
    }
    m_window = build(store);
    // Opening timing for the benchmarks.
    if (auto* view = m_window->findChild<SettingsView*>())
        FirstFrameProbe::watch(
            view->sidebar()->viewport(), [] { return true; },
            [] { qCDebug(lcLaunch, "settings window first frame"); });
    activate(m_window);
}

QWidget* SettingsWindowManager::build(FeedStore& store)
{
    QScreen* screen = targetScreen();
    const std::optional<QRect> visible = screen ? std::optional(WindowFrame::workArea(screen)) : std::nullopt;
    const QSize size = windowSize(visible);

    auto* window = new QWidget(nullptr, Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(kTitle);
    window->setObjectName(QStringLiteral("TidewireSettingsWindow"));
    window->setPalette(darkPalette(window->palette()));
    window->setAutoFillBackground(true);
    // A work area smaller than the usual minimum still holds the window.
    const QSize room = visible ? visible->size() : kNoScreenFrame.size();
    window->setMinimumSize(std::min(kMinWidth, room.width()), std::min(kMinHeight, room.height()));
    // The desktop's close key (Ctrl+W) closes it like its close button.
    auto* closeKey = new QShortcut(QKeySequence::Close, window);
    connect(closeKey, &QShortcut::activated, window, &QWidget::close);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new SettingsView(store, m_initialTab, window, &m_defaults));
    m_initialTab = SettingsTab::Home;

    window->resize(size);
    if (const auto saved = savedFrame())
        window->setGeometry(*saved);
    else if (screen)
        centre(window);
    else
        window->move(kNoScreenFrame.topLeft());
    WindowFrame::keepInsideWorkArea(window);
    window->installEventFilter(this);
    connect(window, &QObject::destroyed, this, [this] {
        // Once the window, its views and its backing store are gone (after
        // this signal), hand the freed heap back to the system: after the
        // first window the allocator keeps window-sized buffers on its heap
        // instead of unmapping them, so each closed window would stay
        // resident.
        QMetaObject::invokeMethod(this, [] { MemoryRelief::releaseFreedMemory(); }, Qt::QueuedConnection);
        Q_EMIT windowClosed();
    });
    return window;
}

void SettingsWindowManager::centre(QWidget* window) const
{
    QScreen* screen = targetScreen();
    if (!screen)
        return;
    const QRect visible = WindowFrame::workArea(screen);
    const QSize size = WindowFrame::currentGeometry(window).size();
    const double midX = visible.x() + visible.width() * 0.5;
    const double midY = visible.y() + visible.height() * 0.5;
    WindowFrame::applyGeometry(window,
                               QRect(QPoint(qRound(midX - size.width() * 0.5), qRound(midY - size.height() * 0.5)), size));
}

void SettingsWindowManager::activate(QWidget* window) const
{
    window->show();
    window->raise();
    window->activateWindow();
    if (QWindow* handle = window->windowHandle())
        handle->requestActivate();
}

bool SettingsWindowManager::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Close && watched == m_window)
        saveFrame(m_window);
    return QObject::eventFilter(watched, event);
}

void SettingsWindowManager::saveFrame(const QWidget* window) const
{
    const QRect frame = WindowFrame::currentGeometry(window);
    m_defaults.set(Settings::settingsWindowFrame.key.toString(),
                   QJsonObject{{QStringLiteral("x"), frame.x()},
                               {QStringLiteral("y"), frame.y()},
                               {QStringLiteral("width"), frame.width()},
                               {QStringLiteral("height"), frame.height()}});
}

std::optional<QRect> SettingsWindowManager::savedFrame() const
{
    const QJsonObject saved = m_defaults.objectValue(Settings::settingsWindowFrame.key.toString());
    const auto number = [&saved](const char* key) -> std::optional<int> {
        const QJsonValue v = saved.value(QLatin1String(key));
        if (!v.isDouble() || v.toDouble() != double(v.toInt()))
            return std::nullopt;
        return v.toInt();
    };
    const auto x = number("x"), y = number("y"), w = number("width"), h = number("height");
    if (!x || !y || !w || !h || *w <= 0 || *h <= 0)
        return std::nullopt;
    return QRect(*x, *y, *w, *h);
}
