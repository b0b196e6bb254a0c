#pragma once

#include <QByteArray>
#include <QString>
#include <ostream>

// Readable failure messages for the Qt values the tests compare. GoogleTest
// finds these by argument-dependent lookup, so they live beside the Qt types.
inline void PrintTo(const QByteArray& bytes, std::ostream* out)
{
    *out << "QByteArray(" << bytes.size() << " bytes, base64 " << bytes.toBase64().toStdString()
         << ")";
}

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
