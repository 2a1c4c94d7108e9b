#include "ReadOnlyFolder.h"

#include <QFile>
#include <QTemporaryFile>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr QFile::Permissions kReadOnly = QFile::ReadOwner | QFile::ExeOwner;
constexpr QFile::Permissions kWritable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

// Sets or clears CAP_DAC_OVERRIDE in this thread's effective set; whether
// it was set before.
bool setOverride(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    const __u32 bit = 1u << CAP_DAC_OVERRIDE;
    const bool was = data[0].effective & bit;
    data[0].effective = on ? (data[0].effective | bit) : (data[0].effective & ~bit);
    ::syscall(SYS_capset, &header, data);
    return was;
}

} // namespace

ReadOnlyFolder::ReadOnlyFolder(QString folder) : m_folder(std::move(folder))
{
    m_active = QFile::setPermissions(m_folder, kReadOnly);
    m_droppedOverride = setOverride(false);
    QTemporaryFile probe(m_folder + QStringLiteral("/probe-XXXXXX"));
    m_readOnly = m_active && !probe.open();
}

ReadOnlyFolder::~ReadOnlyFolder()
{
    release();
}

void ReadOnlyFolder::release()
{
    if (m_droppedOverride)
        setOverride(true);
    m_droppedOverride = false;
    if (m_active)
        QFile::setPermissions(m_folder, kWritable);
    m_active = false;
}
