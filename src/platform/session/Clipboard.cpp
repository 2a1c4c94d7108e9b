#include "platform/session/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace {

class DesktopClipboard final : public Clipboard {
public:
    // QClipboard::setText replaces everything on the clipboard with the text
    // alone, so no older rich content stays next to it.
    void setText(const QString& text) override
    {
        if (QClipboard* clipboard = QGuiApplication::clipboard())
            clipboard->setText(text, QClipboard::Clipboard);
    }

    QString text() const override
    {
        const QClipboard* clipboard = QGuiApplication::clipboard();
        return clipboard ? clipboard->text(QClipboard::Clipboard) : QString();
    }
};

Clipboard* installedClipboard = nullptr;

}  // namespace

Clipboard& Clipboard::system()
{
    static DesktopClipboard desktop;
    return installedClipboard ? *installedClipboard : desktop;
}

void Clipboard::setSystem(Clipboard* clipboard)
{
    installedClipboard = clipboard;
}
