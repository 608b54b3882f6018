// innerHTML and outerHTML as browsers write them: the HTML fragment serialization algorithm.

#include "dom/DocumentBuilder.h"

namespace pxt {

namespace {

bool isVoid(const Element* e)
{
    if (!DocumentBuilder::isHtml(e))
        return false;
    static const char* const names[] = {"area", "base", "basefont", "bgsound", "br", "col", "embed", "frame",
                                        "hr", "img", "input", "keygen", "link", "meta", "param", "source",
                                        "track", "wbr"};
    for (const char* n : names)
        if (e->localName() == QLatin1String(n))
            return true;
    return false;
}

// Elements whose text is written as it stands (scripting is on in the browser views).
bool holdsRawText(const Element* e)
{
    if (!e || !DocumentBuilder::isHtml(e))
        return false;
    static const char* const names[] = {"style", "script", "xmp", "iframe", "noembed", "noframes",
                                        "plaintext", "noscript"};
    for (const char* n : names)
        if (e->localName() == QLatin1String(n))
            return true;
    return false;
}

void escape(const QString& s, bool attributeMode, QString& out)
{
    for (QChar c : s) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case 0xA0: out += QLatin1String("&nbsp;"); break;
        case '"':
            if (attributeMode)
                out += QLatin1String("&quot;");
            else
                out += c;
            break;
        case '<':
            if (attributeMode)
                out += c;
            else
                out += QLatin1String("&lt;");
            break;
        case '>':
            if (attributeMode)
                out += c;
            else
                out += QLatin1String("&gt;");
            break;
        default: out += c;
        }
    }
}

void open(const Node* n, QString& out)
{
    switch (n->type()) {
    case NodeType::Element: {
        const Element* e = static_cast<const Element*>(n);
        out += QLatin1Char('<');
        out += e->localName();
        for (const Attribute& a : e->attributes()) {
            out += QLatin1Char(' ');
            out += a.name;
            out += QLatin1String("=\"");
            escape(a.value, true, out);
            out += QLatin1Char('"');
        }
        out += QLatin1Char('>');
        break;
    }
    case NodeType::Text:
        if (holdsRawText(n->parentElement()))
            out += n->data();
        else
            escape(n->data(), false, out);
        break;
    case NodeType::Comment:
        out += QLatin1String("<!--");
        out += n->data();
        out += QLatin1String("-->");
        break;
    }
}

void close(const Node* n, QString& out)
{
    const Element* e = n->asElement();
    if (!e || isVoid(e))
        return;
    out += QLatin1String("</");
    out += e->localName();
    out += QLatin1Char('>');
}

bool descends(const Node* n)
{
    const Element* e = n->asElement();
    return e && n->firstChild() && !isVoid(e);
}

} // namespace

void writeHtml(const Node* top, bool withTop, QString& out)
{
    // A void element writes no children, even those a page script gave it.
    if (!withTop && top->asElement() && isVoid(top->asElement()))
        return;
    // A loop over the sibling and parent links: no stack, whatever the depth.
    const Node* n = withTop ? top : top->firstChild();
    if (!n)
        return;
    for (;;) {
        open(n, out);
        if (descends(n)) {
            n = n->firstChild();
            continue;
        }
        close(n, out);
        for (;;) {
            if (n == top)
                return;
            if (const Node* s = n->nextSibling()) {
                n = s;
                break;
            }
            n = n->parentNode();
            if (!n || (!withTop && n == top))
                return;
            close(n, out);
        }
    }
}

} // namespace pxt
