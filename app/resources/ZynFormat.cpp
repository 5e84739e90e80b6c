#include "ZynFormat.h"

#include "ZynStrings.h"

QString ZynFormatText(QString text, const QStringList& args) {
    static const QLatin1String kPlace("%ls");
    qsizetype from = 0;
    for (const QString& arg : args) {
        const qsizetype at = text.indexOf(kPlace, from);
        if (at < 0) break;
        text.replace(at, kPlace.size(), arg);
        from = at + arg.size();
    }
    return text;
}

QString ZynFormat(int id, const QStringList& args) {
    return ZynFormatText(LoadZynString(id), args);
}
