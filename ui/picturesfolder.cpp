// The default folder of screenshots and films.
#include "ui/picturesfolder.h"

#include <QDir>
#include <QStandardPaths>

QString picturesFolder() {
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QDir().mkpath(pictures)) return pictures;
    return QDir::homePath();
}
