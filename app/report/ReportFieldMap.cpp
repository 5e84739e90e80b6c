#include "ReportFieldMap.h"

QString CReportFieldMap::Substitute(const QString& text) const {
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype open = text.indexOf(u'#', i);
        if (open < 0) break;
        out += QStringView(text).sliced(i, open - i);
        const qsizetype close = text.indexOf(u'#', open + 1);
        if (close < 0) {
            i = open;
            break;
        }
        const auto it = m_fields.constFind(text.sliced(open, close - open + 1));
        if (it != m_fields.constEnd()) {
            out += *it;
            i = close + 1;
        } else {
            // The closing '#' may open the next field.
            out += u'#';
            i = open + 1;
        }
    }
    out += QStringView(text).sliced(i);
    return out;
}
