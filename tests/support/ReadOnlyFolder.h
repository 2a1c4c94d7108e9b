#pragma once

#include <QString>

// Makes a folder read-only for the calling thread while it lives, also when
// the tests run as root: the folder loses its write bits, and the thread
// drops the capability that lets root write anyway (capabilities belong to
// each thread, so other threads keep theirs). Everything is put back by
// release() or the destructor.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(QString folder);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    // Whether the folder now refuses new files (false when the thread could
    // not give up its override).
    bool isReadOnly() const { return m_readOnly; }
    // The folder is writable again.
    void release();

private:
    QString m_folder;
    bool m_active = false;
    bool m_readOnly = false;
    bool m_droppedOverride = false;
};
