#pragma once

#include "app/SearchPanel.h"
#include "ticker/TickerRow.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

class FeedStore;

// Owns the search window: one at a time, 620×520, fixed size, closable but
// not minimisable, titled "Tidewire Search" for the task switcher, at the
// normal stacking level. show() builds it, centred with an empty focused
// field, or brings the open one forward with its query kept. A closed window
// is deleted and forgotten, so the next show() builds a new one.
// Main thread only.
class SearchWindowManager : public QObject {
    Q_OBJECT
public:
    static inline const QString windowTitle = QStringLiteral("Tidewire Search");

    // Rows act through `context` (read history, favicons, link opener, settings).
    explicit SearchWindowManager(TickerRowContext context, QObject* parent = nullptr);
    ~SearchWindowManager() override;

    // The process-wide manager on the standard stores; created on first use,
    // never destroyed.
    static SearchWindowManager& shared();

    // Opens the window searching `store`, or brings the open one forward.
    void show(FeedStore& store);
    // Closes and forgets the window, if any.
    void close();

    // The open window; null when there is none.
    QWidget* window() const { return m_window.data(); }
    SearchPanel* panel() const { return m_panel.data(); }

private:
    void bringForward();

    TickerRowContext m_context;
    QPointer<QWidget> m_window;
    QPointer<SearchPanel> m_panel;
};
