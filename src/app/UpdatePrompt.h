#pragma once

#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>
#include <memory>

class Clipboard;
class QDialog;
class QMessageBox;
class Scheduler;
class UrlOpener;

// Offers a newer release: the download opens in the user's browser and the
// application quits shortly after, so the new copy can replace it. When the
// browser cannot be opened the application keeps running and shows the
// address to copy instead. Main thread only.
class UpdatePrompt {
public:
    struct Services {
        UrlOpener& opener;
        Scheduler& scheduler;
        Clipboard& clipboard;
        std::function<void()> quit;  // the application's normal quit path
    };

    // How long after the download was handed to the browser the app quits.
    static constexpr std::chrono::milliseconds QuitDelay{1500};

    explicit UpdatePrompt(Services services);

    // Asks modally (the application activated first) and returns at once;
    // the answer is acted on when it comes, with a copy of the services, so
    // this object need not outlive the call (the services must). A prompt
    // asked for while one is open only brings that one forward.
    void present(const QString& version, const QUrl& downloadUrl);

private:
    // The question, with "Download and Quit" as its first button.
    static std::unique_ptr<QMessageBox> makeAlert(const QString& version);
    // The address the browser could not open, selectable, with "Copy Link".
    std::unique_ptr<QDialog> makeFallback(const QUrl& downloadUrl);
    void download(const QUrl& downloadUrl);

    Services m_services;
};
