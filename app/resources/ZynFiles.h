#pragma once
// The program's file resources (type "File"), looked up by number. A library that ships one adds it
// to the Qt resources under "/File" with its number as alias.

#include <QString>

#include <optional>

// The text of file resource `id`, decoded from UTF-8 or, after a byte-order mark, UTF-16 (either
// order); nothing when the program holds no such resource or its bytes do not decode.
std::optional<QString> LoadZynFileResource(int id);
// The same decoding for bytes from elsewhere.
std::optional<QString> DecodeZynFileText(const QByteArray& bytes);
