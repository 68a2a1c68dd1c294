#include "AppIcon.h"

#include "common/AppPaths.h"
#include "common/Texts.h"

#include <QFileInfo>

QIcon AppIcon()
{
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64, 128}) {
        const QString file =
            AppPaths::resource(Texts::ImagesDir + QStringLiteral("appIcon-%1.png").arg(size));
        if (QFileInfo::exists(file))
            icon.addFile(file, QSize(size, size));
    }
    const QString large = AppPaths::resource(Texts::AppIconFile);
    if (QFileInfo::exists(large))
        icon.addFile(large);
    return icon;
}
