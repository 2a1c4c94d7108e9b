// Runs a fuzz harness once over every file named on the command line or found
// in a folder named there: the seed corpus and every input that once made a
// harness crash or hang. A crash fails the test; a hang trips its timeout.
#include <QByteArray>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Harnesses that need one-time set-up (an application object, a folder) define it.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    QStringList paths;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (!QFileInfo(arg).isDir())
            paths.append(arg);
        for (QDirIterator it(arg, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            paths.append(it.next());
    }
    for (const QString& path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
            return 1;
        }
        const QByteArray bytes = file.readAll();
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    }
    std::printf("%d inputs replayed\n", int(paths.size()));
    return paths.isEmpty() ? 1 : 0;
}
