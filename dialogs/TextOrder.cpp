#include "dialogs/TextOrder.h"

namespace pxt {

namespace {
// A UTF-16 unit mapped so that comparing units gives code point order: surrogates (pairs for the code
// points above U+FFFF) move above U+E000..U+FFFF.
int orderKey(char16_t u)
{
    if (u >= u'a' && u <= u'z')
        return u - (u'a' - u'A');
    if (u >= 0xE000)
        return u - 0x800;
    if (u >= 0xD800)
        return u + 0x2000;
    return u;
}
} // namespace

int compareListText(QStringView a, QStringView b)
{
    const qsizetype n = qMin(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const int d = orderKey(a[i].unicode()) - orderKey(b[i].unicode());
        if (d != 0)
            return d;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

} // namespace pxt
