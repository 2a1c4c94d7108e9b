#pragma once

#include "platform/base/Error.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

// The one way the app writes a file: whole or not at all.
//
// The bytes go to a temporary file beside `path`, which replaces `path` only
// once every byte is known to have reached the disk. Any failure (a full
// disk, a size limit, a folder that cannot be written) leaves the old file
// byte for byte, is logged as "Could not save <what> <path> : <reason>" and
// is returned; the error's description is the reason as the system gave it.
// A link is written through (what it names is replaced) only when it names a
// regular file or nothing; a link to a device or a FIFO is refused.
// Any thread.
namespace FileWriter {

// `what` names the file in the log line ("settings to"); empty for none.
Result<void> replace(const QString& path, const QByteArray& bytes, QStringView what = {});

} // namespace FileWriter
