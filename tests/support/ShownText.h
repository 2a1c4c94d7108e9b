#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <atomic>
#include <optional>
#include <thread>

class QAction;
class QLabel;
class QMenu;
class QWidget;

// What a sink shows of a text, read from the widgets Qt shows it in, for
// tests that push hostile texts from outside through labels, tool tips,
// menus and window titles.
namespace ShownText {

// The text as a label shows it: its document's text when it has one (rich
// text, or selectable text), else its text.
QString label(const QLabel* label);

// The tool tip `widget` shows for a pointer resting at `pos` (its centre by
// default), through the same help event a real pointer sends; empty when it
// shows none. The tip is hidden again; `shownAt` gets where it was on screen.
QString toolTip(QWidget* widget, std::optional<QPoint> pos = std::nullopt, QRect* shownAt = nullptr);

// An action's text as its menu shows it; empty when its text would make a
// shortcut of one of its characters, or show part of it as a shortcut.
QString action(const QAction* action);

// Every entry of `menu` and its submenus, as shown (see action()).
QStringList menuEntries(const QMenu& menu);

// The title the window system gets for `window` (created if need be).
QString windowTitle(QWidget* window);

} // namespace ShownText

// A named pipe that records whether anything opened it for reading. A text
// read as markup makes Qt load the file an <img> names; given this pipe,
// such a load shows up here at once and cannot hang: a thread waits as the
// writer and lets every reader go.
class ReadWatch {
public:
    ReadWatch();
    ~ReadWatch();
    ReadWatch(const ReadWatch&) = delete;
    ReadWatch& operator=(const ReadWatch&) = delete;

    QString path() const { return m_path; }
    bool wasRead() const { return m_reads.load() > 0; }

    // The texts from outside every sink is tried with: markup that names
    // this pipe, markup that would style, ampersands and an entity.
    QStringList hostileTexts() const;

private:
    QTemporaryDir m_dir;
    QString m_path;
    std::atomic<int> m_reads{0};
    std::atomic<bool> m_stopping{false};
    std::thread m_writer;
};
