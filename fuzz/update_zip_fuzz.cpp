#include "update/bundle_swap.h"
#include "update/zip_archive.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The directory reader alone, on the bytes as they came.
    if (auto names = ZipArchive::directory(data, size))
        if (names->size() * 46 > size)
            __builtin_trap();
    static QTemporaryDir dir;
    const QString zip = dir.path() + QStringLiteral("/in.zip");
    const QString out = dir.path() + QStringLiteral("/out");
    {
        QFile f(zip);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    ZipArchive::Limits limits;
    limits.totalBytes = 64 << 20;
    ZipArchive::expand(zip, out, nullptr, limits);
    // Whatever came out stays inside the destination and within the cap.
    qint64 total = 0;
    QDirIterator it(out, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        total += QFileInfo(it.next()).size();
    if (total > 50 * qint64(size) || QFileInfo::exists(dir.path() + QStringLiteral("/evil")))
        __builtin_trap();
    BundleSwap::removeTree(out);
    return 0;
}
