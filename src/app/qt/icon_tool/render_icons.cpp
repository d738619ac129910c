// Build-time tool: writes the application icon as PNGs (and, when asked, its SVG) from the
// brand mark, so the installed icons always match the drawing code.
//   brimwick_icons OUTPUT_DIR          brimwick-48.png, brimwick-256.png
//   brimwick_icons --svg FILE          the SVG, as committed under data/icons
#include <QFile>
#include <QImage>
#include <QString>
#include <cstring>
#include <iostream>

#include "app/qt/app_icon.h"

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--svg") == 0) {
        QFile file(QString::fromLocal8Bit(argv[2]));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(brimwick::appIconSvg().toUtf8()) < 0) {
            std::cerr << "brimwick_icons: can't write " << argv[2] << std::endl;
            return 1;
        }
        return 0;
    }
    if (argc != 2) {
        std::cerr << "usage: brimwick_icons OUTPUT_DIR | --svg FILE" << std::endl;
        return 2;
    }
    for (int side : {48, 256}) {
        const QString path =
            QStringLiteral("%1/brimwick-%2.png").arg(QString::fromLocal8Bit(argv[1])).arg(side);
        if (!brimwick::appIconImage(side).save(path, "PNG")) {
            std::cerr << "brimwick_icons: can't write " << path.toStdString() << std::endl;
            return 1;
        }
    }
    return 0;
}
