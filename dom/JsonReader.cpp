#include "dom/JsonReader.h"

namespace pxt {

void JsonReader::syntax(const char* what) const
{
    throw JsonSyntaxError(
        QStringLiteral("it is not JSON (%1 at offset %2)").arg(QLatin1String(what)).arg(m_p - m_begin));
}

} // namespace pxt
