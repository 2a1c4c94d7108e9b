#include "app/SearchWindowManager.h"

#include "app/SearchPanel.h"
#include "app/WindowFrame.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

namespace {

// A top-level window that reports its close as it happens, before its
// deferred deletion, so the manager never brings a closing window forward.
class SearchWindow final : public QWidget {
public:
    explicit SearchWindow(std::function<void()> onClose)
        : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
          m_onClose(std::move(onClose))
    {
    }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        QWidget::closeEvent(event);
        if (event->isAccepted() && m_onClose)
            m_onClose();
    }

private:
    std::function<void()> m_onClose;
};

QScreen* screenForNewWindow()
{
    if (QScreen* underPointer = QGuiApplication::screenAt(QCursor::pos()))
        return underPointer;
    return QGuiApplication::primaryScreen();
}

} // namespace

SearchWindowManager::SearchWindowManager(TickerRowContext context, QObject* parent)
    : QObject(parent), m_context(context)
{
}

SearchWindowManager::~SearchWindowManager()
{
    delete m_window.data();
}

SearchWindowManager& SearchWindowManager::shared()
{
    static SearchWindowManager* instance = new SearchWindowManager(TickerRowContext::standard());
    return *instance;
}

void SearchWindowManager::show(FeedStore& store)
{
    if (m_window) {
        bringForward();
        return;
    }
    auto* window = new SearchWindow([this] {
        m_window.clear();
        m_panel.clear();
    });
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(windowTitle);
    window->setFixedSize(SearchPanel::panelWidth, SearchPanel::panelHeight);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, Qt::black);
    window->setPalette(palette);
    window->setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* panel = new SearchPanel(store, [this] { close(); }, m_context, window);
    layout->addWidget(panel);

    if (QScreen* screen = screenForNewWindow()) {
        QRect frame(QPoint(), window->size());
        frame.moveCenter(WindowFrame::workArea(screen).center());
        window->setGeometry(frame);
    }
    // On a screen too short for it, it gives up height rather than its
    // title bar.
    WindowFrame::keepInsideWorkArea(window);
    m_window = window;
    m_panel = panel;
    window->show();
    bringForward();
}

void SearchWindowManager::bringForward()
{
    QWidget* window = m_window.data();
    window->show();
    window->raise();
    window->activateWindow();
    if (QWindow* handle = window->windowHandle())
        handle->requestActivate();
    if (m_panel)
        m_panel->focusQuery();
}

void SearchWindowManager::close()
{
    QPointer<QWidget> window = m_window;
    m_window.clear();
    m_panel.clear();
    if (window)
        window->close();
}
