#include "ChartFileDrops.h"

#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

QStringList DroppedChartFiles(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) continue;
        const QString path = url.toLocalFile();
        const QString suffix = QFileInfo(path).suffix();
        if (suffix.compare(QLatin1String("tlon"), Qt::CaseInsensitive) == 0 ||
            suffix.compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0)
            files << path;
    }
    return files;
}
