#pragma once

#include <QByteArray>
#include <QString>

namespace a3 {

// Writes data as the whole new content of path through a temporary file in
// the same folder that replaces the target only once it is complete, so a
// failure or a crash leaves the old file as it was. Returns an empty string
// on success, otherwise the reason for the user.
QString writeFileAtomically(const QString& path, const QByteArray& data);

} // namespace a3
