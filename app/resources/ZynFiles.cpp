#include "ZynFiles.h"

#include <QFile>
#include <QStringDecoder>

std::optional<QString> DecodeZynFileText(const QByteArray& bytes) {
    QStringDecoder::Encoding encoding = QStringDecoder::Utf8;
    qsizetype skip = 0;
    if (bytes.startsWith("\xFF\xFE")) {
        encoding = QStringDecoder::Utf16LE;
        skip = 2;
    } else if (bytes.startsWith("\xFE\xFF")) {
        encoding = QStringDecoder::Utf16BE;
        skip = 2;
    } else if (bytes.startsWith("\xEF\xBB\xBF")) {
        skip = 3;
    }
    // UTF-16 comes in whole units; a stray byte at the end means the bytes were cut.
    if (encoding != QStringDecoder::Utf8 && (bytes.size() - skip) % 2 != 0) return std::nullopt;
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(QByteArrayView(bytes).sliced(skip));
    // A damaged resource is refused whole rather than read with replacement characters.
    if (decoder.hasError() || !text.isValidUtf16()) return std::nullopt;
    return text;
}

std::optional<QString> LoadZynFileResource(int id) {
    QFile file(QStringLiteral(":/File/%1").arg(id));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return DecodeZynFileText(file.readAll());
}
