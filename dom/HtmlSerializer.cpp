// innerHTML and outerHTML as browsers write them: the HTML fragment serialization algorithm.

#include "dom/DocumentBuilder.h"
#include "core/Error.h"

#include <QHash>

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

template <typename Out> void escape(QStringView s, bool attributeMode, Out& out)
{
    qsizetype plain = 0; // start of the run of characters written as they are
    auto flush = [&](qsizetype upTo) {
        if (upTo > plain)
            out.append(s.mid(plain, upTo - plain));
    };
    for (qsizetype i = 0; i < s.size(); ++i) {
        QLatin1StringView entity;
        switch (s[i].unicode()) {
        case '&': entity = QLatin1StringView("&amp;"); break;
        case 0xA0: entity = QLatin1StringView("&nbsp;"); break;
        case '"':
            if (attributeMode)
                entity = QLatin1StringView("&quot;");
            break;
        case '<':
            if (!attributeMode)
                entity = QLatin1StringView("&lt;");
            break;
        case '>':
            if (!attributeMode)
                entity = QLatin1StringView("&gt;");
            break;
        default: break;
        }
        if (entity.isEmpty())
            continue;
        flush(i);
        out.append(entity);
        plain = i + 1;
    }
    flush(s.size());
}

enum class Mode { Raw, Text, Attribute };

// The serialization goes to a sink piece by piece: markup(literal) for the fixed markup, chars(string,
// mode) for the names and data of the nodes, which the sink escapes as the mode says.
template <typename Sink> void open(const Node* n, Sink& out)
{
    switch (n->type()) {
    case NodeType::Element: {
        const Element* e = static_cast<const Element*>(n);
        out.markup(QLatin1StringView("<"));
        out.chars(e->localName(), Mode::Raw);
        for (const Attribute& a : e->attributes()) {
            out.markup(QLatin1StringView(" "));
            out.chars(a.name, Mode::Raw);
            out.markup(QLatin1StringView("=\""));
            out.chars(a.value, Mode::Attribute);
            out.markup(QLatin1StringView("\""));
        }
        out.markup(QLatin1StringView(">"));
        break;
    }
    case NodeType::Text:
        out.chars(n->data(), holdsRawText(n->parentElement()) ? Mode::Raw : Mode::Text);
        break;
    case NodeType::Comment:
        out.markup(QLatin1StringView("<!--"));
        out.chars(n->data(), Mode::Raw);
        out.markup(QLatin1StringView("-->"));
        break;
    }
}

template <typename Sink> void close(const Node* n, Sink& out)
{
    const Element* e = n->asElement();
    if (!e || isVoid(e))
        return;
    out.markup(QLatin1StringView("</"));
    out.chars(e->localName(), Mode::Raw);
    out.markup(QLatin1StringView(">"));
}

template <typename Out> void escapeAs(const QString& s, Mode mode, Out& out)
{
    if (mode == Mode::Raw)
        out.append(QStringView(s));
    else
        escape(QStringView(s), mode == Mode::Attribute, out);
}

bool descends(const Node* n)
{
    const Element* e = n->asElement();
    return e && n->firstChild() && !isVoid(e);
}

// A loop over the sibling and parent links: no stack, whatever the depth. Stops early when the sink
// says it is done.
template <typename Sink> void walkHtml(const Node* top, bool withTop, Sink& out)
{
    // A void element writes no children, even those a page script gave it.
    if (!withTop && top->asElement() && isVoid(top->asElement()))
        return;
    const Node* n = withTop ? top : top->firstChild();
    if (!n)
        return;
    for (;;) {
        open(n, out);
        if (out.done())
            return;
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

// Writes the text, failing once it grows past the limit.
class TextSink {
public:
    explicit TextSink(QString& out) : m_out(out) {}
    void append(QStringView s)
    {
        if (m_out.size() + s.size() > Element::kMaxSerializedLength)
            throw Error(QStringLiteral("The element's markup is longer than %1 characters.")
                            .arg(Element::kMaxSerializedLength));
        m_out.append(s);
    }
    void append(QLatin1StringView s)
    {
        if (m_out.size() + s.size() > Element::kMaxSerializedLength)
            append(QStringView(QString(s)));
        else
            m_out.append(s);
    }
    void markup(QLatin1StringView s) { append(s); }
    void chars(const QString& s, Mode mode) { escapeAs(s, mode, *this); }
    bool done() const { return false; }

private:
    QString& m_out;
};

QString asciiUpperCopy(QStringView s)
{
    QString out = s.toString();
    for (QChar& c : out)
        if (c.unicode() >= 'a' && c.unicode() <= 'z')
            c = QChar(c.unicode() - 32);
    return out;
}

// Looks for a text of ASCII letters in the serialization, ignoring ASCII case, without writing it:
// only the last characters seen are kept. A string is looked at once however many nodes share it
// (a page can make thousands of text nodes of one long string at little cost).
class SearchSink {
public:
    explicit SearchSink(QLatin1StringView upperNeedle) : m_needle(upperNeedle), m_keep(upperNeedle.size() - 1) {}

    void markup(QLatin1StringView s) { take(piece(asciiUpperCopy(QString(s)))); }
    void chars(const QString& s, Mode mode)
    {
        if (m_found)
            return;
        const Key key{s.constData(), s.size(), mode};
        auto it = m_seen.constFind(key);
        if (it == m_seen.constEnd()) {
            QString text;
            struct Plain {
                QString& s;
                void append(QStringView v) { s.append(v); }
                void append(QLatin1StringView v) { s.append(v); }
            } plain{text};
            escapeAs(s, mode, plain);
            it = m_seen.insert(key, piece(asciiUpperCopy(text)));
        }
        take(*it);
    }
    bool done() const { return m_found; }
    bool found() const { return m_found; }

private:
    struct Piece {
        bool contains;
        QString head; // the first characters, as many as a match across a seam can need
        QString tail; // the last ones
        qsizetype size;
    };
    struct Key {
        const QChar* data;
        qsizetype size;
        Mode mode;
        bool operator==(const Key& o) const { return data == o.data && size == o.size && mode == o.mode; }
        friend size_t qHash(const Key& k, size_t seed = 0) { return qHashMulti(seed, quintptr(k.data), k.size, int(k.mode)); }
    };

    Piece piece(const QString& upper) const
    {
        return {upper.contains(m_needle), upper.left(m_keep), upper.right(m_keep), upper.size()};
    }
    void take(const Piece& p)
    {
        if (m_found)
            return;
        if (p.contains || (m_tail + p.head).contains(m_needle)) {
            m_found = true;
            return;
        }
        m_tail = p.size >= m_keep ? p.tail : (m_tail + p.tail).right(m_keep);
    }

    QLatin1StringView m_needle;
    qsizetype m_keep;
    QString m_tail;
    QHash<Key, Piece> m_seen;
    bool m_found = false;
};

} // namespace

void writeHtml(const Node* top, bool withTop, QString& out)
{
    TextSink sink(out);
    walkHtml(top, withTop, sink);
}

bool htmlContains(const Node* top, bool withTop, QLatin1StringView upperNeedle)
{
    if (upperNeedle.isEmpty())
        return true;
    SearchSink sink(upperNeedle);
    walkHtml(top, withTop, sink);
    return sink.found();
}

} // namespace pxt
