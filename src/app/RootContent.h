#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

// The feed store's phase as the ticker window cares about it: which case it
// is in, not the error's message.
enum class PhaseCase { Error, Booting, Running };

// The ticker window's content: the loading splash while the store boots or
// is in error, the strip while it runs. A view is built only when the phase
// moves to another case, so a republished phase (or a new error message)
// keeps the view on screen as it is.
class RootContent : public QWidget {
    Q_OBJECT
public:
    using ViewFactory = std::function<QWidget*()>;

    RootContent(ViewFactory makeSplash, ViewFactory makeStrip, QWidget* parent = nullptr);

    void setPhase(PhaseCase phase);
    std::optional<PhaseCase> phase() const { return m_phase; }
    QWidget* currentView() const { return m_view; }

Q_SIGNALS:
    // A new view was put in place (the old one is deleted later).
    void viewReplaced(QWidget* view);

private:
    ViewFactory m_makeSplash;
    ViewFactory m_makeStrip;
    std::optional<PhaseCase> m_phase;
    QPointer<QWidget> m_view;
};
