// Lays out the application's icon for the freedesktop icon theme, drawn by
// the same code as the window's icon: tavrin-icon SHARE_DIR NAME writes
// SHARE_DIR/icons/hicolor/<n>x<n>/apps/NAME.png for every size a desktop
// asks for, and SHARE_DIR/icons/hicolor/scalable/apps/NAME.svg.

#include "ui/emblem.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: tavrin-icon SHARE_DIR NAME\n");
        return 2;
    }
    const QString root = QFile::decodeName(argv[1]) + QStringLiteral("/icons/hicolor/");
    const QString name = QFile::decodeName(argv[2]);
    for (const int edge : Emblem::iconSizes) {
        const QString dir = root + QStringLiteral("%1x%1/apps").arg(edge);
        if (!QDir().mkpath(dir) || !Emblem::iconImage(edge).save(dir + u'/' + name + QStringLiteral(".png"))) {
            std::fprintf(stderr, "tavrin-icon: cannot write %s\n", qPrintable(dir));
            return 1;
        }
    }
    const QString dir = root + QStringLiteral("scalable/apps");
    QFile svg(dir + u'/' + name + QStringLiteral(".svg"));
    if (!QDir().mkpath(dir) || !svg.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || svg.write(Emblem::iconSvg().toUtf8()) < 0) {
        std::fprintf(stderr, "tavrin-icon: cannot write %s\n", qPrintable(svg.fileName()));
        return 1;
    }
    return 0;
}
