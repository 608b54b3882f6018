#pragma once

// The inside of the document model: making nodes, linking them into the tree and keeping all() in
// step. Shared by the builder from the serializer's JSON, the writes and the HTML writer, and by the
// builder from HTML text of tests (testing/); not for the rest of the program.

#include "dom/Document.h"

#include <QUrl>

namespace pxt {

// Parses markup written into a document that no page parses for it: the pages of the test view,
// parsed from text. The program has none; its live pages parse what is written themselves.
class FragmentParser {
public:
    virtual ~FragmentParser() = default;
    // The nodes of html parsed in the context of the element, made in its document (with the
    // DocumentBuilder) but not linked into the tree yet. Throws Error.
    virtual std::vector<Node*> parse(const Element& context, const QString& html) const = 0;
};

class DocumentBuilder {
public:
    static std::shared_ptr<Document> newDocument(const QString& url);

    static Node* root(const Document& doc) { return doc.m_root; }
    static Element* newElement(Document& doc, const QString& localName, bool html,
                               const QString& tagName = QString());
    // A text or comment node.
    static Node* newCharacterData(Document& doc, NodeType type, const QString& data);
    // Links child (a node without parent) as the last child of parent (an element or the root).
    static void appendChild(Node* parent, Node* child);
    // Unlinks every child of parent; they stay alive in the document's arena.
    static void removeChildren(Node* parent);
    // Unlinks the children of parent behind last (all of them when last is null).
    static void removeChildrenAfter(Node* parent, Node* last);
    // Room for n attributes of e in all (more can be added; they then move).
    static void reserveAttributes(Element* e, qsizetype n);
    static void addAttribute(Element* e, const QString& name, const QString& value);
    static bool isHtml(const Element* e) { return e->m_name->html; }
    static bool isHtml(const Element* e, const char* localName)
    {
        return e->m_name->html && e->m_name->localName == QLatin1String(localName);
    }

    // The image, anchor and input views as a page parsed from text has them: addresses resolved
    // against base, sizes and the checked state from the attributes.
    static void takeViewsFromAttributes(Element* e, const QUrl& base);
    // The views as the live page reported them.
    static void setImageView(Element* e, int width, int height, const QString& src)
    {
        ElementViews& v = e->views();
        v.width = width;
        v.height = height;
        v.href = src;
    }
    static void setLinkView(Element* e, const QString& href) { e->views().href = href; }
    static void setBackgroundView(Element* e, int width, int height, const QString& picture)
    {
        ElementViews& v = e->views();
        v.width = width;
        v.height = height;
        v.background = picture;
    }
    static void setInputView(Element* e, bool checked, const QString& value)
    {
        ElementViews& v = e->views();
        v.checked = checked;
        v.value = value;
    }
    static void setHandle(Element* e, int handle);

    static void setUrl(Document& doc, const QString& url) { doc.m_url = url; }
    static void setTitle(Document& doc, const QString& title) { doc.m_title = title; }
    static void setBaseUrl(Document& doc, const QString& base) { doc.m_baseUrl = base; }
    static void setLive(Document& doc, std::shared_ptr<LiveChannel> channel, int snapshot, int nextHandle)
    {
        doc.m_channel = std::move(channel);
        doc.m_snapshot = snapshot;
        doc.m_nextHandle = nextHandle;
    }
    static void addFrameEntry(Document& doc, Frame frame) { doc.m_frames.push_back(std::move(frame)); }
    static void setFragmentParser(Document& doc, std::shared_ptr<const FragmentParser> parser)
    {
        doc.m_fragmentParser = std::move(parser);
    }
    // The address relative addresses of the document resolve against.
    static QUrl baseUrl(const Document& doc);
    // Renumbers all() from the tree; done once after building.
    static void rebuildAll(const Document& doc);
    // The position of e in all(); -1 when it is not in the tree.
    static qsizetype allIndexOf(const Document& doc, const Element* e);

    // Links the nodes of a page's answer to a write ({"first": handle, "nodes": records}, records with
    // parent -1 for the element) as the last children of parent, with the page's handles; gives the
    // new elements in document order and the first handle. Throws Error for an answer it cannot read.
    static std::vector<Element*> appendFromJson(Element* parent, const QByteArray& json, int& firstHandle);
    // Takes a page's report of changed inputs and images (__pxt.changes); false when the page reports
    // that it cannot tell. Throws Error for a report it cannot read.
    static bool applyChanges(Document& doc, const QByteArray& json);
};

// The absolute address of ref as a browser resolves it against base; ref itself when it cannot be
// resolved.
QString resolveAddress(const QUrl& base, const QString& ref);
// A page address or a plain file path as a URL.
QUrl pageUrl(const QString& address);
// An image's width or height attribute: leading digits, 0 when there are none.
int parseDimension(const QString& value);

// The HTML fragment serialization of top's children (withTop false) or of top itself.
void writeHtml(const Node* top, bool withTop, QString& out);
// Whether that serialization holds the text (upper-case ASCII), ignoring ASCII case; it is not written.
bool htmlContains(const Node* top, bool withTop, QLatin1StringView upperNeedle);

} // namespace pxt
