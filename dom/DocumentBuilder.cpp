#include "dom/DocumentBuilder.h"

#include <QRegularExpression>

#include <algorithm>
#include <limits>

namespace pxt {

namespace {

bool isSpecialScheme(const QString& scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("ftp")
        || scheme == QLatin1String("ws") || scheme == QLatin1String("wss") || scheme == QLatin1String("file");
}

int defaultPort(const QString& scheme)
{
    if (scheme == QLatin1String("http") || scheme == QLatin1String("ws"))
        return 80;
    if (scheme == QLatin1String("https") || scheme == QLatin1String("wss"))
        return 443;
    if (scheme == QLatin1String("ftp"))
        return 21;
    return -1;
}

// An absolute address as a browser writes it: a special scheme's default port left out, its empty
// path "/".
QString browserForm(QUrl url)
{
    if (isSpecialScheme(url.scheme())) {
        if (url.port() != -1 && url.port() == defaultPort(url.scheme()))
            url.setPort(-1);
        if (url.path().isEmpty())
            url.setPath(QStringLiteral("/"));
    }
    return url.toString(QUrl::FullyEncoded);
}

} // namespace

std::shared_ptr<Document> DocumentBuilder::newDocument(const QString& url)
{
    std::shared_ptr<Document> doc(new Document);
    // The root holds the top-level nodes and is never shown to the program.
    doc->m_root = doc->m_characterData.make(doc.get(), NodeType::Comment, QString());
    doc->m_url = url;
    doc->m_baseUrl = url;
    return doc;
}

Element* DocumentBuilder::newElement(Document& doc, const QString& localName, bool html, const QString& tagName)
{
    const QString tag = !tagName.isEmpty() ? tagName : html ? localName.toUpper() : localName;
    std::vector<const ElementName*>& named = doc.m_namesByLocalName[localName];
    const ElementName* name = nullptr;
    for (const ElementName* n : named)
        if (n->html == html && n->tagName == tag)
            name = n;
    if (!name) {
        name = doc.m_names.make(ElementName{localName, tag, html});
        named.push_back(name);
    }
    return doc.m_elements.make(&doc, name);
}

void DocumentBuilder::reserveAttributes(Element* e, qsizetype n)
{
    if (n <= qsizetype(e->m_attributeRoom) || n > std::numeric_limits<quint32>::max())
        return;
    Attribute* run = e->ownerDocument()->m_attributes.take(size_t(n));
    std::move(e->m_attributes, e->m_attributes + e->m_attributeCount, run);
    e->m_attributes = run;
    e->m_attributeRoom = quint32(n);
}

void DocumentBuilder::addAttribute(Element* e, const QString& name, const QString& value)
{
    if (e->m_attributeCount == e->m_attributeRoom) {
        reserveAttributes(e, std::max<qsizetype>(4, qsizetype(e->m_attributeRoom) * 2));
        if (e->m_attributeCount == e->m_attributeRoom)
            return; // no element holds 4 billion attributes
    }
    e->m_attributes[e->m_attributeCount++] = Attribute{name, value};
}

Node* DocumentBuilder::newCharacterData(Document& doc, NodeType type, const QString& data)
{
    return doc.m_characterData.make(&doc, type, data);
}

void DocumentBuilder::appendChild(Node* parent, Node* child)
{
    const bool topLevel = parent == parent->m_doc->m_root;
    child->m_parent = topLevel ? nullptr : parent;
    child->m_prev = parent->m_lastChild;
    child->m_next = nullptr;
    if (parent->m_lastChild)
        parent->m_lastChild->m_next = child;
    else
        parent->m_firstChild = child;
    parent->m_lastChild = child;
}

void DocumentBuilder::removeChildren(Node* parent)
{
    for (Node* c = parent->m_firstChild; c;) {
        Node* next = c->m_next;
        c->m_parent = c->m_prev = c->m_next = nullptr;
        c = next;
    }
    parent->m_firstChild = parent->m_lastChild = nullptr;
}

void DocumentBuilder::removeChildrenAfter(Node* parent, Node* last)
{
    Node* c = last ? last->m_next : parent->m_firstChild;
    while (c) {
        Node* next = c->m_next;
        c->m_parent = c->m_prev = c->m_next = nullptr;
        c = next;
    }
    if (last)
        last->m_next = nullptr;
    else
        parent->m_firstChild = nullptr;
    parent->m_lastChild = last;
}

namespace {

// A page parsed from text has no style sheets: an element's background and shown size are those of
// its style attribute ("background-image: url(a.jpg); width: 200px; height: 150px").
void takeBackgroundFromStyle(Element* e, const QUrl& base)
{
    const QString style = e->getAttribute(QStringLiteral("style"));
    static const QRegularExpression picture(QStringLiteral(R"(background(?:-image)?\s*:[^;]*?url\(\s*(['"]?)(.*?)\1\s*\))"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = picture.match(style);
    if (!m.hasMatch())
        return;
    static const QRegularExpression width(QStringLiteral(R"((?:^|;)\s*width\s*:\s*(\d+)px)"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression height(QStringLiteral(R"((?:^|;)\s*height\s*:\s*(\d+)px)"),
                                           QRegularExpression::CaseInsensitiveOption);
    const auto pixels = [&](const QRegularExpression& side) {
        const QRegularExpressionMatch size = side.match(style);
        return size.hasMatch() ? size.captured(1).toInt() : 0;
    };
    DocumentBuilder::setBackgroundView(e, pixels(width), pixels(height), resolveAddress(base, m.captured(2)));
}

} // namespace

void DocumentBuilder::takeViewsFromAttributes(Element* e, const QUrl& base)
{
    if (!e->m_name->html)
        return;
    const QString& n = e->m_name->localName;
    if (n != QLatin1String("img") && n != QLatin1String("input") && e->hasAttribute(QStringLiteral("style")))
        takeBackgroundFromStyle(e, base);
    if (n == QLatin1String("img")) {
        ElementViews& v = e->views();
        v.width = parseDimension(e->getAttribute(QStringLiteral("width")));
        v.height = parseDimension(e->getAttribute(QStringLiteral("height")));
        if (e->hasAttribute(QStringLiteral("src")))
            v.href = resolveAddress(base, e->getAttribute(QStringLiteral("src")));
    } else if (n == QLatin1String("a") || n == QLatin1String("area") || n == QLatin1String("link")
               || n == QLatin1String("base")) {
        if (e->hasAttribute(QStringLiteral("href")))
            e->views().href = resolveAddress(base, e->getAttribute(QStringLiteral("href")));
    } else if (n == QLatin1String("input")) {
        ElementViews& v = e->views();
        v.checked = e->hasAttribute(QStringLiteral("checked"));
        const QString type = e->getAttribute(QStringLiteral("type")).trimmed().toLower();
        // A box without a value attribute reports "on", as browsers do.
        if (!e->hasAttribute(QStringLiteral("value")) && (type == QLatin1String("checkbox") || type == QLatin1String("radio")))
            v.value = QStringLiteral("on");
        else
            v.value = e->getAttribute(QStringLiteral("value"));
    }
}

QUrl DocumentBuilder::baseUrl(const Document& doc) { return pageUrl(doc.m_baseUrl); }

QUrl pageUrl(const QString& address)
{
    if (address.startsWith(QLatin1Char('/')))
        return QUrl::fromLocalFile(address);
    return QUrl(address, QUrl::TolerantMode);
}

QString resolveAddress(const QUrl& base, const QString& ref)
{
    // Browsers drop leading and trailing controls and spaces, and tabs and line breaks anywhere.
    qsizetype from = 0, to = ref.size();
    while (from < to && ref.at(from).unicode() <= 0x20)
        ++from;
    while (to > from && ref.at(to - 1).unicode() <= 0x20)
        --to;
    QString r = ref.mid(from, to - from);
    r.remove(QLatin1Char('\t')).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));

    if (r.isEmpty()) {
        if (!base.isValid() || base.isEmpty())
            return ref;
        // Resolved as an empty reference, so the page's address loses its fragment and dot segments
        // as every other does (a null QUrl would leave the base as it is).
        return browserForm(base.resolved(QUrl(QStringLiteral(""))));
    }
    const bool specialBase = isSpecialScheme(base.scheme());
    if (specialBase && !r.contains(QLatin1Char(':')))
        r.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QUrl rel(r, QUrl::TolerantMode);
    if (!rel.isValid())
        return ref;
    if (rel.isRelative() && (!base.isValid() || base.isEmpty() || !specialBase))
        return ref; // nothing to resolve against
    const QUrl abs = base.resolved(rel);
    if (!abs.isValid())
        return ref;
    return browserForm(abs);
}

int parseDimension(const QString& value)
{
    qsizetype i = 0;
    while (i < value.size() && (value.at(i) == QLatin1Char(' ') || value.at(i) == QLatin1Char('\t')
                                || value.at(i) == QLatin1Char('\n') || value.at(i) == QLatin1Char('\r')
                                || value.at(i) == QLatin1Char('\f')))
        ++i;
    qint64 n = 0;
    for (; i < value.size() && value.at(i) >= QLatin1Char('0') && value.at(i) <= QLatin1Char('9'); ++i) {
        n = n * 10 + (value.at(i).unicode() - '0');
        if (n > std::numeric_limits<int>::max())
            return std::numeric_limits<int>::max();
    }
    return int(n);
}

} // namespace pxt
