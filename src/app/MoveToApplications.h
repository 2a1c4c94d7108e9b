#pragma once

#include "platform/session/AppLocation.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

class Defaults;

// The offer, at start-up, to move a single-file AppImage run from removable
// media, a temporary folder or the download or desktop folder into
// ~/Applications, reopen it from there and quit; and, at the next launch,
// the follow-up of such a move. Main thread only.
class MoveToApplications {
public:
    // What the user sees and answers; the default uses message boxes and a
    // folder dialog, each brought to the front over other applications.
    // Each returns at once (no event loop of its own) and hands its answer
    // on when it comes.
    class Prompts {
    public:
        virtual ~Prompts() = default;
        // The offer; true for "Move to Applications".
        virtual void offer(const QString& message, const QString& informative,
                           std::function<void(bool)> answered) = 0;
        // The destination folder, starting in `start`; none when cancelled.
        virtual void chooseFolder(const QString& start, std::function<void(std::optional<QString>)> chosen) = 0;
        virtual void alert(const QString& message, const QString& informative, std::function<void()> closed) = 0;

        static Prompts& dialogs();
    };

    struct Services {
        Defaults& defaults;
        // The AppImage this process runs from; none for every other install.
        std::optional<QString> appImage;
        // The home folder and those the offer is made from.
        AppLocation::Folders folders;
        Prompts& prompts;
        // Turns launch at login off or on; false when that failed.
        std::function<bool(bool)> setLaunchAtLogin;
        // Starts the program at the path, detached; an error text when it
        // could not be started.
        std::function<std::optional<QString>(const QString&)> startDetached;
        // Ends this process once control is back in the event loop.
        std::function<void()> quit;
    };

    explicit MoveToApplications(Services services);

    // For this process: $APPIMAGE, the home folder, the real dialogs, the
    // autostart entry, a detached start and a queued quit. `beforeRelaunch`
    // runs just before the moved copy is started: it lets go of this copy's
    // claim to be the one running, which the moved copy takes.
    static MoveToApplications system(Defaults& defaults, std::function<void()> beforeRelaunch = {});

    // The start-up task: finishes the previous run's move, then offers the
    // move unless declined before or not wanted here. `done` runs once the
    // offer is over (at once when none is made), with true when the process
    // is quitting because it moved. This object need not outlive the call.
    void offerIfNeeded(std::function<void(bool moved)> done = {});
    // After a move, points launch at login at the new copy.
    void finishPendingMove();

private:
    using Done = std::function<void(bool)>;
    void move(const QString& appImage, Done done) const;
    void copyInto(const QString& appImage, const std::optional<QString>& folder, Done done) const;

    // Shared with the answers still to come.
    std::shared_ptr<const Services> m_services;
};
