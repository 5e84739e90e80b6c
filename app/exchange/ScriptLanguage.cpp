#include "ScriptLanguage.h"

#include <QFileInfo>

namespace zyn::script {

std::optional<ScriptLanguage> ScriptLanguageForPath(const QString& path) {
    const QString extension = QFileInfo(path).suffix();
    if (extension.compare(QStringLiteral("js"), Qt::CaseInsensitive) == 0) return ScriptLanguage::JScript;
    if (extension.compare(QStringLiteral("vbs"), Qt::CaseInsensitive) == 0) return ScriptLanguage::VBScript;
    return std::nullopt;
}

QString LineEnd(ScriptLanguage language) {
    return language == ScriptLanguage::JScript ? QStringLiteral(";\r\n") : QStringLiteral("\r\n");
}

QString DeclarationWord(ScriptLanguage language) {
    return language == ScriptLanguage::JScript ? QStringLiteral("var") : QStringLiteral("Set");
}

QString BooleanText(ScriptLanguage language, bool value) {
    if (language == ScriptLanguage::JScript) return value ? QStringLiteral("true") : QStringLiteral("false");
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

namespace {

bool IsControl(char16_t c) {
    return c < 0x20 || c == 0x7F;
}

QString JScriptLiteral(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        switch (c) {
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u'"':
            out += QStringLiteral("\\\"");
            break;
        case u'\r':
            out += QStringLiteral("\\r");
            break;
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\t':
            out += QStringLiteral("\\t");
            break;
        // Both end a line inside a literal as a line feed would.
        case 0x2028:
        case 0x2029:
            out += QStringLiteral("\\u%1").arg(int(c), 4, 16, QChar(u'0'));
            break;
        default:
            if (IsControl(c))
                out += QStringLiteral("\\x%1").arg(int(c), 2, 16, QChar(u'0'));
            else
                out += qc;
        }
    }
    return out + u'"';
}

// A VBScript literal cannot hold a line break: the text is closed, the break joined in by name,
// and the text opened again.
QString VBScriptLiteral(const QString& text) {
    QString out = QStringLiteral("\"");
    auto join = [&out](const QString& piece) {
        out += QStringLiteral("\" & ") + piece + QStringLiteral(" & \"");
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'"') {
            out += QStringLiteral("\"\"");
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            join(QStringLiteral("vbCrLf"));
            ++i;
        } else if (c == u'\n') {
            join(QStringLiteral("vbLf"));
        } else if (c == u'\r') {
            join(QStringLiteral("vbCr"));
        } else if (IsControl(c) && c != u'\t') {
            join(QStringLiteral("Chr(%1)").arg(int(c)));
        } else {
            out += text[i];
        }
    }
    return out + u'"';
}

} // namespace

QString StringLiteral(ScriptLanguage language, const QString& text) {
    return language == ScriptLanguage::JScript ? JScriptLiteral(text) : VBScriptLiteral(text);
}

QString ChartFunctionName(const QString& chartName, int k) {
    QString name = chartName.isEmpty() ? QStringLiteral("Chart%1").arg(k) : chartName;
    // Beyond the punctuation a name may not hold, anything but ASCII letters and digits: neither
    // language takes a line break or a '?' in a name, and VBScript takes no other letters.
    for (QChar& c : name) {
        const char16_t u = c.unicode();
        const bool keep =
            (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'_';
        if (!keep) c = u'_';
    }
    return QStringLiteral("Add_") + name;
}

} // namespace zyn::script
