#include "dom/Document.h"

#include "dom/DocumentBuilder.h"
#include "core/Error.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace pxt {

namespace {

// Calls f for every node below top in document order. A loop over the sibling and parent links, so
// the depth of the tree costs no stack. Top-level nodes have no parent: they only occur below the
// document's root, so climbing from them leads back to top.
template <class F>
void forEachDescendant(const Node* top, F f)
{
    const Node* n = top->firstChild();
    while (n) {
        f(n);
        if (n->firstChild()) {
            n = n->firstChild();
            continue;
        }
        while (n != top && !n->nextSibling())
            n = n->parentNode() ? n->parentNode() : top;
        if (n == top)
            break;
        n = n->nextSibling();
    }
}

// A string as a JavaScript literal (JSON strings are literals of the language).
QString scriptString(const QString& s)
{
    const QByteArray json = QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

} // namespace

QString Node::nodeName() const
{
    switch (m_type) {
    case NodeType::Element: return static_cast<const Element*>(this)->tagName();
    case NodeType::Text: return QStringLiteral("#text");
    case NodeType::Comment: return QStringLiteral("#comment");
    }
    return QString();
}

Element* Node::parentElement() const
{
    return m_parent && m_parent->m_type == NodeType::Element ? static_cast<Element*>(m_parent) : nullptr;
}

const QString& Node::data() const
{
    static const QString none;
    return m_type == NodeType::Element ? none : static_cast<const CharacterData*>(this)->m_data;
}

ElementViews& Element::views()
{
    if (!m_views)
        m_views = ownerDocument()->m_views.make();
    return *m_views;
}

Element* Node::asElement() { return m_type == NodeType::Element ? static_cast<Element*>(this) : nullptr; }

const Element* Node::asElement() const
{
    return m_type == NodeType::Element ? static_cast<const Element*>(this) : nullptr;
}

bool Element::hasAttribute(const QString& name) const
{
    for (const Attribute& a : attributes())
        if (a.name == name)
            return true;
    return false;
}

QString Element::getAttribute(const QString& name) const
{
    for (const Attribute& a : attributes())
        if (a.name == name)
            return a.value;
    return QString();
}

QList<Element*> Element::children() const
{
    QList<Element*> out;
    for (Node* n = firstChild(); n; n = n->nextSibling())
        if (Element* e = n->asElement())
            out.append(e);
    return out;
}

QString Element::innerHTML() const
{
    QString out;
    writeHtml(this, false, out);
    return out;
}

bool Element::innerHTMLContains(QLatin1StringView upperText) const { return htmlContains(this, false, upperText); }

QString Element::outerHTML() const
{
    QString out;
    writeHtml(this, true, out);
    return out;
}

void Element::setInnerHTML(const QString& html)
{
    Document* doc = ownerDocument();
    // The page's answer is awaited with the window's events running; one of them may drop the last
    // other holder of the document (a new probe run, a new page).
    const std::shared_ptr<Document> keep = doc->weak_from_this().lock();
    const QString current = innerHTML();
    // Text that only adds to what is there is appended, so the present children and their state
    // (a checked box) stay, here and on the live page.
    const bool append = html.startsWith(current);
    const QString text = append ? html.mid(current.size()) : html;
    if (append && text.isEmpty())
        return;
    const bool live = doc->m_channel && doc->m_snapshot >= 0 && m_handle >= 0;

    // A live page parses the text itself and hands back what it made; only the test view's pages
    // are parsed here, by the parser their builder gave them. Without either the write fails and
    // changes nothing.
    QString answer;
    std::vector<Node*> nodes;
    if (live && doc->m_channel->readsBack()) {
        answer = doc->m_channel->runAndRead(QStringLiteral("globalThis.__pxt?__pxt.%1(%2,%3,%4):null")
                                                .arg(append ? QLatin1String("appendRead") : QLatin1String("htmlRead"))
                                                .arg(doc->m_snapshot)
                                                .arg(m_handle)
                                                .arg(scriptString(text)));
    } else if (doc->m_fragmentParser) {
        nodes = doc->m_fragmentParser->parse(*this, text);
    } else {
        throw Error(QStringLiteral("The document cannot take new markup: no page parses it"));
    }

    // all() changes by one splice: the element's old descendants out, the new elements in. (Taken
    // after the page's answer: other writes may have changed all() while it was awaited.)
    const qsizetype index = doc->m_allDirty ? -1 : DocumentBuilder::allIndexOf(*doc, this);
    const qsizetype first = index + 1;
    qsizetype oldCount = 0;
    if (index >= 0)
        forEachDescendant(this, [&](const Node* n) {
            if (n->type() == NodeType::Element) {
                ++oldCount;
                if (!append)
                    static_cast<const Element*>(n)->m_allIndex = -1;
            }
        });

    if (!append) {
        DocumentBuilder::removeChildren(this);
        if (index >= 0)
            doc->m_all.erase(doc->m_all.begin() + first, doc->m_all.begin() + first + oldCount);
    }

    std::vector<Element*> added;
    if (!answer.isNull()) {
        int firstHandle = 0;
        added = DocumentBuilder::appendFromJson(this, answer.toUtf8(), firstHandle);
        doc->m_nextHandle = std::max(doc->m_nextHandle, firstHandle + int(added.size()));
    } else {
        for (Node* n : nodes) {
            DocumentBuilder::appendChild(this, n);
            if (Element* e = n->asElement())
                added.push_back(e);
            forEachDescendant(n, [&](const Node* d) {
                if (d->type() == NodeType::Element)
                    added.push_back(const_cast<Element*>(static_cast<const Element*>(d)));
            });
        }
    }

    if (index >= 0) {
        const qsizetype pos = append ? first + oldCount : first;
        doc->m_all.insert(doc->m_all.begin() + pos, added.begin(), added.end());
        for (size_t i = 0; i < added.size(); ++i)
            added[i]->m_allIndex = int(pos + qsizetype(i));
        // The elements behind the splice are renumbered when a later write needs them.
        doc->m_allNumbered = std::min(doc->m_allNumbered, size_t(append ? pos : first));
    }

    if (live && answer.isNull()) {
        // The page numbers the new elements in the same order.
        for (Element* e : added)
            DocumentBuilder::setHandle(e, doc->m_nextHandle++);
        doc->m_channel->run(QStringLiteral("globalThis.__pxt&&__pxt.%1(%2,%3,%4)")
                                .arg(append ? QLatin1String("append") : QLatin1String("html"))
                                .arg(doc->m_snapshot)
                                .arg(m_handle)
                                .arg(scriptString(text)));
    }
}

void Element::setStatus(bool on)
{
    views().checked = on;
    Document* doc = ownerDocument();
    // Sent even when the model already holds the value: the user may have clicked the box on the
    // page since the document was read.
    if (doc->m_channel && doc->m_snapshot >= 0 && m_handle >= 0)
        doc->m_channel->check(doc->m_snapshot, m_handle, on);
}

void LiveChannel::check(int snapshot, int handle, bool on)
{
    run(QStringLiteral("globalThis.__pxt&&__pxt.check(%1,%2,%3)")
            .arg(snapshot)
            .arg(handle)
            .arg(on ? QLatin1String("true") : QLatin1String("false")));
}

namespace {
enum Changes { InputChanges = 1, ImageChanges = 2 };
QString changesScript(int snapshot, int what)
{
    return QStringLiteral("globalThis.__pxt?__pxt.changes(%1,%2):'null'").arg(snapshot).arg(what);
}
} // namespace

bool Document::refresh()
{
    if (!m_channel || m_snapshot < 0 || !m_channel->readsBack())
        return false;
    const QByteArray answer = m_channel->runAndRead(changesScript(m_snapshot, InputChanges)).toUtf8();
    if (!DocumentBuilder::applyChanges(*this, answer))
        return false;
    m_imagesStale = true;
    return true;
}

// The images' sizes cost the page a layout check each, so they are asked for only when needed. When
// the page can no longer tell, the views stay as they were read.
void Document::refreshImages() const
{
    m_imagesStale = false;
    try {
        const QByteArray answer = m_channel->runAndRead(changesScript(m_snapshot, ImageChanges)).toUtf8();
        DocumentBuilder::applyChanges(const_cast<Document&>(*this), answer);
    } catch (const Error&) {
    }
}

const ElementViews* Element::currentViews() const
{
    if (ownerDocument()->m_imagesStale)
        ownerDocument()->refreshImages();
    return m_views;
}

int Element::width() const
{
    const ElementViews* v = currentViews();
    return v ? v->width : 0;
}

int Element::height() const
{
    const ElementViews* v = currentViews();
    return v ? v->height : 0;
}

QString Element::href() const
{
    const ElementViews* v = currentViews();
    return v ? v->href : QString();
}

QString Document::resolve(const QString& address) const
{
    return resolveAddress(DocumentBuilder::baseUrl(*this), address);
}

QString Element::backgroundImage() const
{
    const ElementViews* v = currentViews();
    return v ? v->background : QString();
}

Document::~Document()
{
    if (m_channel && m_snapshot >= 0) {
        try {
            m_channel->run(QStringLiteral("globalThis.__pxt&&__pxt.drop(%1)").arg(m_snapshot));
        } catch (...) {
            // The page may be gone; its handles went with it.
        }
    }
}

const std::vector<Element*>& Document::all() const
{
    if (m_allDirty)
        DocumentBuilder::rebuildAll(*this);
    return m_all;
}

qsizetype Document::indexOf(const Element* e) const
{
    if (!e || e->ownerDocument() != this)
        return -1;
    all();
    return DocumentBuilder::allIndexOf(*this, e);
}

std::vector<Element*> Document::links() const
{
    std::vector<Element*> out;
    for (Element* e : all())
        if ((DocumentBuilder::isHtml(e, "a") || DocumentBuilder::isHtml(e, "area"))
            && e->hasAttribute(QStringLiteral("href")))
            out.push_back(e);
    return out;
}

std::shared_ptr<Document> Document::frame(int i) const
{
    if (i < 0 || i >= framesLength())
        throw Error(QStringLiteral("The page has no frame %1").arg(i));
    const Frame& f = m_frames[size_t(i)];
    if (!f.document)
        throw Error(QStringLiteral("The document of frame %1 cannot be read: %2").arg(i).arg(f.error));
    return f.document;
}

Element* Document::documentElement() const
{
    for (Node* n = m_root->firstChild(); n; n = n->nextSibling())
        if (Element* e = n->asElement())
            return e;
    return nullptr;
}

qsizetype DocumentBuilder::allIndexOf(const Document& doc, const Element* e)
{
    const int known = e->m_allIndex;
    if (known < 0)
        return -1;
    if (size_t(known) < doc.m_allNumbered && doc.m_all[size_t(known)] == e)
        return known;
    // Moved since: it lies in the part not numbered yet.
    for (size_t i = doc.m_allNumbered; i < doc.m_all.size(); ++i) {
        doc.m_all[i]->m_allIndex = int(i);
        doc.m_allNumbered = i + 1;
        if (doc.m_all[i] == e)
            return qsizetype(i);
    }
    return -1;
}

void DocumentBuilder::setHandle(Element* e, int handle)
{
    e->m_handle = handle;
    // Handles come in order; one far beyond the rest (a bad answer) is kept off the list.
    std::vector<Element*>& byHandle = e->ownerDocument()->m_byHandle;
    if (handle < 0 || size_t(handle) > byHandle.size() + (1u << 20))
        return;
    if (size_t(handle) >= byHandle.size())
        byHandle.resize(size_t(handle) + 1, nullptr);
    byHandle[size_t(handle)] = e;
}

void DocumentBuilder::rebuildAll(const Document& doc)
{
    doc.m_all.clear();
    forEachDescendant(doc.m_root, [&](const Node* n) {
        if (n->type() == NodeType::Element) {
            auto* e = const_cast<Element*>(static_cast<const Element*>(n));
            e->m_allIndex = int(doc.m_all.size());
            doc.m_all.push_back(e);
        }
    });
    doc.m_allDirty = false;
    doc.m_allNumbered = doc.m_all.size();
}

} // namespace pxt
