#pragma once
// Filling the "%ls" places of the program's texts. The arguments go in order, one per place; a place
// left without an argument stays as it is, and text that came from an argument is never scanned
// again, so a name holding "%ls" cannot take the next argument's place.

#include <QString>
#include <QStringList>

QString ZynFormatText(QString text, const QStringList& args);

// The numbered text with its places filled.
QString ZynFormat(int id, const QStringList& args = {});
