#include "ReportText.h"

namespace {

const QString kLineEnd = QStringLiteral("\r\n");

void Append(const CReportSection& s, QString& out) {
    if (!out.isEmpty()) out += kLineEnd;
    out += QString(qMax(0, s.Level() - 1), u'\t') + s.Text() + kLineEnd;
    for (const auto& row : s.Rows()) {
        out += QString(s.Level(), u'\t') + row->Label();
        if (!row->Value().isEmpty()) out += u'\t' + row->Value();
        out += kLineEnd;
    }
    for (const auto& child : s.Children())
        Append(*child, out);
}

} // namespace

QString ReportText(const CReportSection& root) {
    QString out;
    for (const auto& s : root.Children())
        Append(*s, out);
    return out;
}
