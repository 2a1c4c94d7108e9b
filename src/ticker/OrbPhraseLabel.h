#pragma once

#include <QUrl>
#include <QWidget>
#include <memory>
#include <optional>

class FilterStore;
class QMenu;
class UrlOpener;

// One keyword of the orb: bold monospaced white text on one line (shrinking
// to three quarters of its size before it is cut short). With a link it
// opens the link on a click, underlines while hovered and names the link's
// host in its help. Its context menu mutes or follows the keyword.
class OrbPhraseLabel : public QWidget {
    Q_OBJECT
public:
    static constexpr double minimumScale = 0.75;

    // `text` is shown as given (the caller upper-cases it); `keyword` is the
    // phrase as received, which the menu mutes or follows.
    OrbPhraseLabel(QString text, std::optional<QUrl> url, double fontSize, QString keyword, FilterStore& filters,
                   UrlOpener& opener, QWidget* parent = nullptr);

    const QString& text() const { return m_text; }
    const std::optional<QUrl>& url() const { return m_url; }
    bool isHovered() const { return m_hovered; }
    // "Open on <host>", "Open article" without a host; empty without a link.
    QString help() const;
    // The font actually drawn at the current width.
    QFont fittedFont() const;
    // "Mute “…”"/"Unmute “…”" then "Follow “…”"/"Unfollow “…”"; an entry
    // that would add to a full list is greyed out, with the list's line
    // (FilterStore::fullListText) greyed out under it.
    std::unique_ptr<QMenu> contextMenu();

    // True while the context menu shows.
    bool isMenuOpen() const { return m_menuOpen; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void menuClosed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QFont baseFont() const;

    QString m_text;
    std::optional<QUrl> m_url;
    double m_fontSize;
    QString m_keyword;
    FilterStore& m_filters;
    UrlOpener& m_opener;
    bool m_hovered = false;
    bool m_menuOpen = false;
};
