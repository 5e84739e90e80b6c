#include "ReportHtml.h"

#include <algorithm>

namespace {

QString Escaped(const QString& s) {
    return s.toHtmlEscaped();
}

void Append(const CReportSection& s, QString& out) {
    const int h = std::clamp(s.Level(), 1, 6);
    out += QStringLiteral("<section>\n<h%1>%2</h%1>\n").arg(h).arg(Escaped(s.Text()));
    if (!s.Rows().empty()) {
        out += QStringLiteral("<table>\n");
        for (const auto& row : s.Rows()) {
            if (row->FullWidth())
                out += QStringLiteral("<tr><td colspan=\"2\">%1</td></tr>\n").arg(Escaped(row->Label()));
            else
                out += QStringLiteral("<tr><th scope=\"row\">%1</th><td>%2</td></tr>\n")
                           .arg(Escaped(row->Label()), Escaped(row->Value()));
        }
        out += QStringLiteral("</table>\n");
    }
    for (const auto& child : s.Children())
        Append(*child, out);
    out += QStringLiteral("</section>\n");
}

} // namespace

QString ReportHtml(const CReportSection& root) {
    const QString title = root.Children().empty() ? QString() : root.Children().front()->Text();
    QString out =
        QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>%1</title>\n"
                       "<style>\n"
                       "body { font-family: sans-serif; margin: 2em; }\n"
                       "section section { margin-left: 2em; }\n"
                       "table { border-collapse: collapse; margin-bottom: 1em; }\n"
                       "th, td { text-align: left; vertical-align: top; padding: 0.15em 1.5em 0.15em 0;"
                       " white-space: pre-wrap; }\n"
                       "th { font-weight: normal; }\n"
                       "</style>\n</head>\n<body>\n")
            .arg(Escaped(title));
    for (const auto& s : root.Children())
        Append(*s, out);
    out += QStringLiteral("</body>\n</html>\n");
    return out;
}
