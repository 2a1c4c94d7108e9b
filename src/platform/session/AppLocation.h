#pragma once

#include "platform/base/Error.h"

#include <QString>
#include <QStringList>
#include <optional>

// Where this copy of the application runs from, and moving it into the
// user's Applications folder. Only a single-file AppImage is ever moved: a
// distribution package, a build tree or a container stays where it is.
namespace AppLocation {

// The folders the move offer looks at, as absolute paths without a
// trailing slash.
struct Folders {
    QString home;
    QStringList temporary;  // /tmp and $TMPDIR
    QStringList personal;   // the download and desktop folders
};

// The AppImage file this process runs from ($APPIMAGE); none otherwise.
std::optional<QString> runningAppImage();

// The folders of this session: the temporary folders and the (localised)
// download and desktop folders of QStandardPaths.
Folders systemFolders(const QString& home);

// Whether a copy at `path` is offered the move. First match wins:
// under home/Applications no; under /opt or /usr no; on removable media
// (/media, /run/media) yes; in a temporary folder yes; in the download or
// desktop folder yes; anywhere else no. A personal folder that is the home
// folder itself (an unset desktop folder) counts for nothing.
bool shouldOffer(const QString& path, const Folders& folders);
bool shouldOffer(const QString& path, const QString& home);

// Whether `path` lies on removable media.
bool onRemovableMedia(const QString& path);

// home + "/Applications".
QString applicationsFolder(const QString& home);

// Copies the file at `source` into `folder` under its own name, as an
// executable, and returns the new file's path. The copy is written beside
// its destination and renamed over it only once complete, so a failure
// leaves an older copy there as it was. Refuses to copy a file onto itself.
Result<QString> copyInto(const QString& source, const QString& folder);

} // namespace AppLocation
