#pragma once

#include <QString>
#include <stdexcept>

namespace pxt {

// The one failure type of the program. Its text is what the user sees in the error box.
class Error : public std::runtime_error {
public:
    explicit Error(const QString& text) : std::runtime_error(text.toStdString()), m_text(text) {}
    const QString& text() const { return m_text; }

private:
    QString m_text;
};

} // namespace pxt
