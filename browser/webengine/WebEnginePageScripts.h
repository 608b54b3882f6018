#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <optional>

class QWebEnginePage;

namespace pxt {

// Runs the script in the program's world after the writes still pending, and waits for its value in
// a local loop that takes no user input, timeoutMs at most. Null when no value came in time or the
// page went away meanwhile.
std::optional<QVariant> runAndWait(QWebEnginePage* target, const QString& script, int timeoutMs);

// The value of the script, a string, as UTF-8. The string is kept in the page and fetched in pieces:
// the engine's copies of one large answer beside the tree it becomes would be the program's peak.
// Throws Error; gives nothing when the page went away meanwhile.
QByteArray readText(const QPointer<QWebEnginePage>& page, const QString& script, int timeoutMs);

} // namespace pxt
