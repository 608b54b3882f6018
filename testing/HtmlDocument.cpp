// Documents and fragments from HTML text, with gumbo.

#include "testing/HtmlDocument.h"

#include "dom/DocumentBuilder.h"
#include "core/Error.h"

#include <gumbo.h>

#include <algorithm>
#include <cstring>

namespace pxt {

namespace {

// A frame showing one of its ancestors is not read.
thread_local std::vector<QString> t_framePath;

QString asciiLower(QString s)
{
    for (QChar& c : s)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + 32);
    return s;
}

bool isAsciiWhitespace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\f')
        || c == QLatin1Char('\r');
}

QString stripAndCollapse(const QString& s)
{
    QString out;
    out.reserve(s.size());
    bool pendingSpace = false;
    for (QChar c : s) {
        if (isAsciiWhitespace(c)) {
            pendingSpace = !out.isEmpty();
            continue;
        }
        if (pendingSpace)
            out += QLatin1Char(' ');
        pendingSpace = false;
        out += c;
    }
    return out;
}

// One gumbo run, with two repairs of what gumbo 0.10.1 does differently from the browsers:
// - gumbo parses NOSCRIPT as if scripting were off, the browser views as raw text. NOFRAMES is raw
//   text everywhere NOSCRIPT is, with a name of the same length, so every NOSCRIPT tag is renamed in
//   the text gumbo sees and the names are put back in the tree it returns.
// - gumbo puts the text that stands before "</form>" after the form. A marker (a bogus comment) before
//   every such end tag makes it place the text first; the markers are left out of the tree.
class GumboParse {
public:
    GumboParse(const QString& html, GumboTag context, GumboNamespaceEnum ns)
    {
        insertFormMarkers(html.toUtf8());
        m_plain = m_text;
        swapNoscriptTags();
        m_options = kGumboDefaultOptions;
        // Recorded parse errors cost gumbo gigabytes on deeply nested markup; nothing reads them.
        m_options.max_errors = 0;
        m_options.fragment_context = context;
        m_options.fragment_namespace = ns;
        m_output = gumbo_parse_with_options(&m_options, m_text.constData(), size_t(m_text.size()));
        if (!m_output)
            throw Error(QStringLiteral("The HTML text could not be parsed"));
    }
    ~GumboParse() { gumbo_destroy_output(&m_options, m_output); }
    GumboParse(const GumboParse&) = delete;
    GumboParse& operator=(const GumboParse&) = delete;

    const GumboOutput* output() const { return m_output; }

    // Builds the nodes of the gumbo children below parent (an element or the document's root), or
    // as detached nodes into tops when parent is null. A loop with its own stack, whatever the depth.
    void convert(Document& doc, const GumboVector& kids, Node* parent, std::vector<Node*>* tops) const
    {
        std::vector<std::pair<const GumboNode*, Node*>> stack;
        for (unsigned i = kids.length; i-- > 0;)
            stack.emplace_back(static_cast<const GumboNode*>(kids.data[i]), parent);
        while (!stack.empty()) {
            const auto [g, into] = stack.back();
            stack.pop_back();
            Node* made = nullptr;
            switch (g->type) {
            case GUMBO_NODE_ELEMENT:
            case GUMBO_NODE_TEMPLATE: {
                const GumboElement& el = g->v.element;
                bool html = true;
                const QString name = elementName(el, html);
                Element* e = DocumentBuilder::newElement(doc, name, html);
                DocumentBuilder::reserveAttributes(e, qsizetype(el.attributes.length));
                for (unsigned i = 0; i < el.attributes.length; ++i) {
                    const auto* a = static_cast<const GumboAttribute*>(el.attributes.data[i]);
                    QString value = QString::fromUtf8(a->value);
                    restoreNames(value, a->original_value);
                    DocumentBuilder::addAttribute(e, attributeName(a), value);
                }
                // A template's content is no part of the tree, as in the browser's DOM.
                if (g->type == GUMBO_NODE_ELEMENT)
                    for (unsigned i = el.children.length; i-- > 0;)
                        stack.emplace_back(static_cast<const GumboNode*>(el.children.data[i]), e);
                made = e;
                break;
            }
            case GUMBO_NODE_TEXT:
            case GUMBO_NODE_WHITESPACE:
            case GUMBO_NODE_CDATA:
            case GUMBO_NODE_COMMENT: {
                if (g->type == GUMBO_NODE_COMMENT && isMarker(g))
                    break;
                QString data = QString::fromUtf8(g->v.text.text);
                restoreNames(data, g->v.text.original_text);
                made = DocumentBuilder::newCharacterData(
                    doc, g->type == GUMBO_NODE_COMMENT ? NodeType::Comment : NodeType::Text, data);
                break;
            }
            case GUMBO_NODE_DOCUMENT: break;
            }
            if (!made)
                continue;
            if (into)
                DocumentBuilder::appendChild(into, made);
            else
                tops->push_back(made);
        }
    }

private:
    static constexpr char kMarker[] = "<?pxt-flush>";
    static constexpr qsizetype kMarkerLength = sizeof(kMarker) - 1;

    // Whether the bytes at i start the tag name, followed by the end of the name.
    static bool tagNameAt(const char* d, qsizetype n, qsizetype i, const char* name, qsizetype length)
    {
        if (i + length > n || qstrnicmp(d + i, name, uint(length)) != 0)
            return false;
        const qsizetype k = i + length;
        return k == n || d[k] == ' ' || d[k] == '\t' || d[k] == '\n' || d[k] == '\f' || d[k] == '\r' || d[k] == '/'
            || d[k] == '>';
    }

    void insertFormMarkers(const QByteArray& html)
    {
        const char* d = html.constData();
        const qsizetype n = html.size();
        m_text.reserve(n);
        qsizetype copied = 0;
        for (qsizetype i = 0; i + 1 < n; ++i) {
            if (d[i] != '<' || d[i + 1] != '/' || !tagNameAt(d, n, i + 2, "form", 4))
                continue;
            m_text.append(d + copied, i - copied);
            m_markers.push_back(m_text.size());
            m_text.append(kMarker, kMarkerLength);
            copied = i;
        }
        m_text.append(d + copied, n - copied);
    }

    bool isMarker(const GumboNode* g) const
    {
        const char* p = g->v.text.original_text.data;
        return p && std::binary_search(m_markers.begin(), m_markers.end(), qsizetype(p - m_text.constData()));
    }

    void swapNoscriptTags()
    {
        char* d = m_text.data();
        const qsizetype n = m_text.size();
        for (qsizetype i = 0; i < n; ++i) {
            if (d[i] != '<')
                continue;
            qsizetype j = i + 1;
            if (j < n && d[j] == '/')
                ++j;
            if (!tagNameAt(d, n, j, "noscript", 8))
                continue;
            std::memcpy(d + j, "noframes", 8);
            m_swapped.push_back(j);
        }
    }

    bool swappedAt(const char* p) const
    {
        if (!p)
            return false;
        const qsizetype off = p - m_text.constData();
        return std::binary_search(m_swapped.begin(), m_swapped.end(), off);
    }

    // Text, comments and attribute values that held a marker or a renamed tag (in raw text, for
    // instance) get the text as it was.
    void restoreNames(QString& value, const GumboStringPiece& source) const
    {
        if ((m_swapped.empty() && m_markers.empty()) || !source.data)
            return;
        const qsizetype from = source.data - m_text.constData();
        const qsizetype to = from + qsizetype(source.length);
        // One pass over the value, however many markers it held.
        const auto firstMarker = std::lower_bound(m_markers.begin(), m_markers.end(), from);
        qsizetype markers = std::lower_bound(firstMarker, m_markers.end(), to) - firstMarker;
        if (markers > 0) {
            const QString needle = QLatin1String(kMarker, kMarkerLength) + QLatin1String("</");
            QString kept;
            kept.reserve(value.size());
            qsizetype copied = 0;
            for (; markers > 0; --markers) {
                const qsizetype at = value.indexOf(needle, copied);
                if (at < 0)
                    break;
                kept += QStringView(value).mid(copied, at - copied);
                copied = at + kMarkerLength;
            }
            kept += QStringView(value).mid(copied);
            value = kept;
        }
        auto it = std::lower_bound(m_swapped.begin(), m_swapped.end(), from);
        qsizetype pos = 0;
        for (; it != m_swapped.end() && *it < to; ++it) {
            const QString original = QString::fromLatin1(m_plain.constData() + *it, 8);
            for (;; ++pos) {
                pos = value.indexOf(QLatin1String("noframes"), pos);
                if (pos < 0)
                    return;
                if (pos > 0 && (value.at(pos - 1) == QLatin1Char('<') || value.at(pos - 1) == QLatin1Char('/')))
                    break;
            }
            value.replace(pos, 8, original);
            pos += 8;
        }
    }

    QString elementName(const GumboElement& el, bool& html) const
    {
        html = el.tag_namespace == GUMBO_NAMESPACE_HTML;
        if (html && el.tag == GUMBO_TAG_NOFRAMES && el.original_tag.data && swappedAt(el.original_tag.data + 1))
            return QStringLiteral("noscript");
        QString name;
        if (el.tag != GUMBO_TAG_UNKNOWN) {
            name = QString::fromLatin1(gumbo_normalized_tagname(el.tag));
        } else {
            GumboStringPiece piece = el.original_tag;
            if (piece.data && piece.length > 0)
                gumbo_tag_from_original_text(&piece);
            name = piece.data && piece.length > 0 ? asciiLower(QString::fromUtf8(piece.data, qsizetype(piece.length)))
                                                  : QStringLiteral("unknown");
        }
        if (el.tag_namespace == GUMBO_NAMESPACE_SVG) {
            const QByteArray lower = name.toUtf8();
            const GumboStringPiece piece{lower.constData(), size_t(lower.size())};
            if (const char* adjusted = gumbo_normalize_svg_tagname(&piece))
                name = QString::fromLatin1(adjusted);
        }
        return name;
    }

    static QString attributeName(const GumboAttribute* a)
    {
        const QString name = QString::fromUtf8(a->name);
        switch (a->attr_namespace) {
        case GUMBO_ATTR_NAMESPACE_XLINK: return QStringLiteral("xlink:") + name;
        case GUMBO_ATTR_NAMESPACE_XML: return QStringLiteral("xml:") + name;
        case GUMBO_ATTR_NAMESPACE_XMLNS:
            return name == QLatin1String("xmlns") ? name : QStringLiteral("xmlns:") + name;
        case GUMBO_ATTR_NAMESPACE_NONE: break;
        }
        return name;
    }

    QByteArray m_text;  // what gumbo parses
    QByteArray m_plain; // the same before the renaming
    std::vector<qsizetype> m_markers; // offsets of the markers, ascending
    std::vector<qsizetype> m_swapped; // offsets of the renamed tag names, ascending
    GumboOptions m_options;
    GumboOutput* m_output = nullptr;
};

GumboTag gumboTag(const QString& localName)
{
    const QByteArray n = asciiLower(localName).toUtf8();
    return gumbo_tagn_enum(n.constData(), unsigned(n.size()));
}

// A foreign element's namespace is that of its nearest svg or math ancestor.
GumboNamespaceEnum foreignNamespace(const Element* e)
{
    for (; e && !DocumentBuilder::isHtml(e); e = e->parentElement()) {
        if (e->localName() == QLatin1String("math"))
            return GUMBO_NAMESPACE_MATHML;
        if (e->localName() == QLatin1String("svg"))
            return GUMBO_NAMESPACE_SVG;
    }
    return GUMBO_NAMESPACE_SVG;
}

QString titleOf(const Document& doc)
{
    for (const Element* e : doc.all()) {
        if (!DocumentBuilder::isHtml(e, "title"))
            continue;
        QString text;
        for (const Node* n = e->firstChild(); n; n = n->nextSibling())
            if (n->type() == NodeType::Text)
                text += n->data();
        return stripAndCollapse(text);
    }
    return QString();
}

class GumboFragmentParser : public FragmentParser {
public:
    std::vector<Node*> parse(const Element& context, const QString& html) const override;
};

std::vector<Node*> GumboFragmentParser::parse(const Element& context, const QString& html) const
{
    Document& doc = *context.ownerDocument();
    GumboTag tag;
    GumboNamespaceEnum ns = GUMBO_NAMESPACE_HTML;
    if (DocumentBuilder::isHtml(&context)) {
        tag = context.localName() == QLatin1String("noscript") ? GUMBO_TAG_NOFRAMES : gumboTag(context.localName());
    } else {
        ns = foreignNamespace(&context);
        tag = gumboTag(context.localName());
    }
    if (tag == GUMBO_TAG_LAST)
        tag = GUMBO_TAG_UNKNOWN;
    const GumboParse parse(html, tag, ns);
    std::vector<Node*> tops;
    parse.convert(doc, parse.output()->root->v.element.children, nullptr, &tops);
    const QUrl base = DocumentBuilder::baseUrl(doc);
    for (Node* top : tops) {
        // The new elements get their views as a page parsed from text has them.
        std::vector<Node*> stack{top};
        while (!stack.empty()) {
            Node* n = stack.back();
            stack.pop_back();
            if (Element* e = n->asElement())
                DocumentBuilder::takeViewsFromAttributes(e, base);
            for (Node* c = n->firstChild(); c; c = c->nextSibling())
                stack.push_back(c);
        }
    }
    return tops;
}

// One parser serves every document: it keeps nothing between parses.
const std::shared_ptr<const FragmentParser>& gumboFragments()
{
    static const std::shared_ptr<const FragmentParser> parser = std::make_shared<GumboFragmentParser>();
    return parser;
}

std::shared_ptr<Document> build(const QString& html, const QString& url, const QString& inheritedBase);

std::shared_ptr<Document> emptyFrameDocument()
{
    return build(QString(), QStringLiteral("about:blank"), QString());
}

Frame loadFrame(const Element* e, const QUrl& base, const HtmlFrameLoader& loader)
{
    if (DocumentBuilder::isHtml(e, "iframe") && e->hasAttribute(QStringLiteral("srcdoc")))
        return {build(e->getAttribute(QStringLiteral("srcdoc")), QStringLiteral("about:srcdoc"),
                      base.toString(QUrl::FullyEncoded)),
                {}};
    const QString src = e->getAttribute(QStringLiteral("src"));
    const QString address = src.trimmed().isEmpty() ? QString() : resolveAddress(base, src);
    if (address.isEmpty() || address == QLatin1String("about:blank"))
        return {emptyFrameDocument(), {}};
    if (int(t_framePath.size()) >= Document::kMaxFrameDepth)
        return {nullptr, QStringLiteral("the frames are nested too deeply")};
    if (std::find(t_framePath.begin(), t_framePath.end(), address) != t_framePath.end())
        return {nullptr, QStringLiteral("the frame shows a page that contains it")};
    try {
        std::shared_ptr<Document> doc = loader(address);
        if (doc)
            return {std::move(doc), {}};
        return {nullptr, QStringLiteral("%1 cannot be read").arg(address)};
    } catch (const Error& err) {
        return {nullptr, err.text()};
    }
}

std::shared_ptr<Document> build(const QString& html, const QString& url, const QString& inheritedBase)
{
    std::shared_ptr<Document> doc = DocumentBuilder::newDocument(url);
    DocumentBuilder::setFragmentParser(*doc, gumboFragments());
    {
        const GumboParse parse(html, GUMBO_TAG_LAST, GUMBO_NAMESPACE_HTML);
        parse.convert(*doc, parse.output()->document->v.document.children, DocumentBuilder::root(*doc), nullptr);
    }
    DocumentBuilder::rebuildAll(*doc);

    // The first BASE with an href sets the address everything else resolves against.
    QUrl base = pageUrl(inheritedBase.isEmpty() ? url : inheritedBase);
    for (const Element* e : doc->all()) {
        if (DocumentBuilder::isHtml(e, "base") && e->hasAttribute(QStringLiteral("href"))) {
            const QUrl b(resolveAddress(base, e->getAttribute(QStringLiteral("href"))));
            if (b.isValid() && !b.isRelative())
                base = b;
            break;
        }
    }
    DocumentBuilder::setBaseUrl(*doc, base.toString(QUrl::FullyEncoded));
    for (Element* e : doc->all())
        DocumentBuilder::takeViewsFromAttributes(e, base);
    DocumentBuilder::setTitle(*doc, titleOf(*doc));
    return doc;
}

} // namespace

std::shared_ptr<Document> htmlDocument(const QString& html, const QString& url, const HtmlFrameLoader& loader)
{
    std::shared_ptr<Document> doc = build(html, url, QString());
    if (!loader)
        return doc;
    const QUrl base = DocumentBuilder::baseUrl(*doc);
    t_framePath.push_back(pageUrl(url).toString(QUrl::FullyEncoded));
    struct PathGuard {
        ~PathGuard() { t_framePath.pop_back(); }
    } guard;
    for (const Element* e : doc->all())
        if (DocumentBuilder::isHtml(e, "frame") || DocumentBuilder::isHtml(e, "iframe"))
            DocumentBuilder::addFrameEntry(*doc, loadFrame(e, base, loader));
    return doc;
}

void parseWritesWithGumbo(Document& doc) { DocumentBuilder::setFragmentParser(doc, gumboFragments()); }

} // namespace pxt
