#pragma once

#include <QList>
#include <QUrl>
#include <optional>

// Opens links in the user's browser. Only http and https are opened; any
// other scheme is refused and logged. Returns whether the link was handed on.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual bool open(const QUrl& url) = 0;

    static UrlOpener& system();         // QDesktopServices, or the installed one
    static void setSystem(UrlOpener* opener);  // test hook; nullptr restores
};

// Records what would have been opened (after the same scheme check).
class FakeUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl& url) override;
    QList<QUrl> opened;
    QList<QUrl> refused;
};

// The scheme rule shared by the real and fake openers.
bool isOpenableUrl(const QUrl& url);

// A web link from text as feeds and servers write it. Parsed tolerantly: a
// raw space, "|", braces or a stray "%" are percent-encoded rather than
// losing the link. Nothing unless it parses, its scheme is http or https and
// it names a host ("https:news" is no web address).
std::optional<QUrl> webUrl(const QString& text);
