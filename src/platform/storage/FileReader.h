#pragma once

#include <QByteArray>
#include <QString>
#include <expected>

// The one way the app reads a file that a person, another program or a
// crash could have replaced: the settings, the caches, the favicons, the
// autostart entry.
//
// Only a regular file is read (a link is followed to what it names), and
// only up to `cap` bytes: a FIFO never blocks the caller, a device never
// feeds it without end, and a file larger than the cap is refused whole
// rather than read in part. Any thread.
namespace FileReader {

struct Failure {
    enum class Kind {
        Absent,      // nothing there (a link to nothing included)
        NotRegular,  // a FIFO, a device, a socket or a folder
        TooLarge,    // a regular file larger than the cap
        Unreadable,  // a regular file the system would not let us read
    };
    Kind kind = Kind::Unreadable;
    QString reason;  // for the log: "it is a FIFO, not a regular file", …

    bool is(Kind k) const { return kind == k; }
};

std::expected<QByteArray, Failure> read(const QString& path, qint64 cap);

} // namespace FileReader
