#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <new>
#include <span>
#include <utility>
#include <vector>

namespace pxt {

class Document;
class Element;
class FragmentParser;

enum class NodeType : unsigned char { Element, Text, Comment };

// Where a document keeps its nodes: made in place, a chunk at a time, never moved, destroyed with
// the document (a page of 10,000 thumbnails has some 100,000 nodes; one allocation each would cost
// a third again of their size).
template <class T>
class NodeArena {
public:
    NodeArena() = default;
    NodeArena(const NodeArena&) = delete;
    NodeArena& operator=(const NodeArena&) = delete;
    ~NodeArena()
    {
        for (size_t i = 0; i < m_chunks.size(); ++i) {
            T* items = std::launder(reinterpret_cast<T*>(m_chunks[i].get()));
            const size_t used = i + 1 == m_chunks.size() ? m_used : kChunk;
            for (size_t k = 0; k < used; ++k)
                items[k].~T();
        }
    }
    template <class... Args>
    T* make(Args&&... args)
    {
        if (m_chunks.empty() || m_used == kChunk) {
            m_chunks.push_back(std::make_unique<Slot[]>(kChunk));
            m_used = 0;
        }
        T* item = new (&m_chunks.back()[m_used]) T(std::forward<Args>(args)...);
        ++m_used;
        return item;
    }

private:
    static constexpr size_t kChunk = 256;
    struct alignas(T) Slot {
        unsigned char bytes[sizeof(T)];
    };
    std::vector<std::unique_ptr<Slot[]>> m_chunks;
    size_t m_used = 0;
};

// A node of the one in-memory tree. Nodes are owned by their document (arenas, so that neither
// building nor destroying a tree nested 100,000 deep recurses); pointers stay valid as long as the
// document lives, also for nodes an innerHTML write has removed from the tree.
class Node {
public:
    NodeType type() const { return m_type; }
    // "IMG", "DIV", ... for elements (tagName); "#text" and "#comment" otherwise.
    QString nodeName() const;
    bool hasChildNodes() const { return m_firstChild != nullptr; }
    Node* firstChild() const { return m_firstChild; }
    Node* lastChild() const { return m_lastChild; }
    Node* nextSibling() const { return m_next; }
    Node* previousSibling() const { return m_prev; }
    Node* parentNode() const { return m_parent; }
    Element* parentElement() const;
    Document* ownerDocument() const { return m_doc; }
    Element* asElement();
    const Element* asElement() const;
    // Text and comment nodes: their character data; empty for elements.
    const QString& data() const;

protected:
    Node(Document* doc, NodeType type) : m_doc(doc), m_type(type) {}
    ~Node() = default; // nodes are destroyed as what they are, by their document

private:
    friend class Document;
    friend class DocumentBuilder;
    Document* m_doc;
    Node* m_parent = nullptr;
    Node* m_firstChild = nullptr;
    Node* m_lastChild = nullptr;
    Node* m_prev = nullptr;
    Node* m_next = nullptr;
    NodeType m_type;
};

// A text or comment node (and the document's root, an empty comment).
class CharacterData : public Node {
private:
    friend class DocumentBuilder;
    friend class Node;
    template <class> friend class NodeArena;
    CharacterData(Document* doc, NodeType type, const QString& data) : Node(doc, type), m_data(data) {}
    QString m_data;
};

// An element's names, kept once per document for all elements of that name.
struct ElementName {
    QString localName;
    QString tagName;
    bool html = true; // in the HTML namespace (not SVG or MathML)
};

// What the image, anchor and input views of an element hold; only elements with such a view have it.
struct ElementViews {
    int width = 0;
    int height = 0;
    QString href;
    QString background; // the picture the element's CSS background shows
    QString value;
    bool checked = false;
};

struct Attribute {
    QString name;  // lower case, as HTML parsers store it
    QString value;
};

// Where a document's elements keep their attributes: each element's in one run, the runs side by
// side in chunks. A run that outgrows its place moves to a larger one; the old place stays unused.
class AttributeRuns {
public:
    Attribute* take(size_t n)
    {
        if (n > kChunk) {
            m_large.push_back(std::make_unique<Attribute[]>(n));
            return m_large.back().get();
        }
        if (m_chunks.empty() || m_used + n > kChunk) {
            m_chunks.push_back(std::make_unique<Attribute[]>(kChunk));
            m_used = 0;
        }
        Attribute* run = m_chunks.back().get() + m_used;
        m_used += n;
        return run;
    }

private:
    static constexpr size_t kChunk = 1024;
    std::vector<std::unique_ptr<Attribute[]>> m_chunks;
    std::vector<std::unique_ptr<Attribute[]>> m_large;
    size_t m_used = 0;
};

// An element, with the image, anchor and input views of the document operations.
class Element : public Node {
public:
    // Upper-case tag name of an HTML element ("IMG"); the local name as written otherwise.
    const QString& tagName() const { return m_name->tagName; }
    // Lower-case local name, as innerHTML and outerHTML write it.
    const QString& localName() const { return m_name->localName; }
    QString id() const { return getAttribute(QStringLiteral("id")); }

    std::span<const Attribute> attributes() const { return {m_attributes, m_attributeCount}; }
    bool hasAttribute(const QString& name) const;
    QString getAttribute(const QString& name) const; // empty when missing

    QList<Element*> children() const; // element children in order

    // The serializations are bounded: an element whose markup would be longer than this fails with
    // Error (a page can make one link's markup gigabytes long at little cost).
    static constexpr qsizetype kMaxSerializedLength = 16 * 1024 * 1024;

    // Throws Error past kMaxSerializedLength.
    QString innerHTML() const;
    // Whether innerHTML holds the text (given in upper-case ASCII), ignoring ASCII case; the markup is
    // not written, so there is no bound.
    bool innerHTMLContains(QLatin1StringView upperText) const;
    // Parses the text with the HTML fragment parser in the context of this element. When the text
    // begins with the current innerHTML only the rest is parsed and appended, so the existing
    // children (and a checked box among them) stay. On a live page the same write reaches the page.
    // Throws Error when neither the page nor a parser of the document can parse the text.
    void setInnerHTML(const QString& html);
    QString outerHTML() const; // throws Error past kMaxSerializedLength

    // Image view: laid-out size (from the attributes for a page parsed from text, 0 when missing) and
    // the resolved address of the picture. Anchor view: the resolved link address (href).
    int width() const;
    int height() const;
    QString href() const;
    // Background view: the resolved address of the picture the element's CSS background-image shows
    // (the first where it names several), empty without one; width() and height() are then the
    // element's shown size. A page gives it for what a harvest reads only.
    QString backgroundImage() const;

    // Input view.
    QString name() const { return getAttribute(QStringLiteral("name")); }
    QString value() const { return m_views ? m_views->value : QString(); }
    bool checked() const { return m_views && m_views->checked; }
    bool status() const { return checked(); }
    void setStatus(bool on);

private:
    friend class Document;
    friend class DocumentBuilder;
    template <class> friend class NodeArena;
    Element(Document* doc, const ElementName* name) : Node(doc, NodeType::Element), m_name(name) {}
    ElementViews& views();
    // The views, the images' brought up to date first when the page may have changed them.
    const ElementViews* currentViews() const;
    const ElementName* m_name;
    Attribute* m_attributes = nullptr;
    quint32 m_attributeCount = 0;
    quint32 m_attributeRoom = 0;
    ElementViews* m_views = nullptr;
    int m_handle = -1; // the live page's handle of this element; -1 when the page has none
    mutable int m_allIndex = -1; // position in the document's all() (maybe an old one); -1 outside the tree
};

// Where the writes on a live page's document go: the page of a browser view. The scripts run in
// order, in the world where the serializer left its element handles.
class LiveChannel {
public:
    virtual ~LiveChannel() = default;
    virtual void run(const QString& script) = 0;
    // Whether the page answers runAndRead: then a write of markup is parsed by the page alone, and
    // the model takes the new elements as the page made them.
    virtual bool readsBack() const { return false; }
    // Runs the script after the writes before it and returns the string it gives. Throws Error.
    virtual QString runAndRead(const QString& script)
    {
        Q_UNUSED(script);
        return {};
    }
    // Sets an input's checked state; a channel may send many of these as one script.
    virtual void check(int snapshot, int handle, bool on);
};

// One entry of a document's frames: its document, or the reason it cannot be read.
struct Frame {
    std::shared_ptr<Document> document;
    QString error;
};

// Shared: a write that waits for the page's answer keeps its document alive until it is done, whoever
// else lets it go meanwhile.
class Document : public std::enable_shared_from_this<Document> {
public:
    // Frames of frames are read at most this deep, whatever the page holds; deeper ones are unreadable.
    static constexpr int kMaxFrameDepth = 32;

    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // From the JSON the live-page serializer returns. Throws Error on malformed input. Writes go to
    // the channel when one is given.
    static std::shared_ptr<Document> fromJson(const QByteArray& json,
                                              std::shared_ptr<LiveChannel> channel = {});

    // Every element in document order.
    const std::vector<Element*>& all() const;
    // The position of e in all(); -1 when it is not in the tree (an innerHTML write removed it).
    qsizetype indexOf(const Element* e) const;
    // A and AREA elements with an href attribute, in document order.
    std::vector<Element*> links() const;
    int framesLength() const { return int(m_frames.size()); }
    // The document of frame i; throws Error when it cannot be read or i is out of range.
    std::shared_ptr<Document> frame(int i) const;

    // Brings a live document up to date with what changed on the page since it was read (or last
    // refreshed), when the page kept track of that (a read with SerializerOptions::watch) and nothing
    // but inputs and images changed. False when it cannot: the page is then to be read afresh.
    // The images' views are brought up to date when one is first asked for.
    bool refresh();

    QString title() const { return m_title; }
    QString url() const { return m_url; }
    // An address of the page resolved against its base, as the page's own links are.
    QString resolve(const QString& address) const;
    Element* documentElement() const;

    // Building documents by hand (tests, the test view's frames).
    void addFrame(std::shared_ptr<Document> doc) { m_frames.push_back({std::move(doc), {}}); }
    void addUnreadableFrame(const QString& reason) { m_frames.push_back({nullptr, reason}); }

private:
    friend class DocumentBuilder;
    friend class Element;
    friend class Node;
    Document() = default;

    // The arenas: every node ever made for this document, the elements' names and views.
    NodeArena<Element> m_elements;
    NodeArena<CharacterData> m_characterData;
    NodeArena<ElementName> m_names;
    NodeArena<ElementViews> m_views;
    AttributeRuns m_attributes;
    QHash<QString, std::vector<const ElementName*>> m_namesByLocalName;
    // A container node; its children are the top-level nodes, whose parentNode() is null.
    Node* m_root = nullptr;
    mutable std::vector<Element*> m_all;
    mutable bool m_allDirty = true;
    // The elements before this position in m_all know their position; those after it may know an
    // old one (innerHTML writes insert and remove without renumbering the rest at once).
    mutable std::size_t m_allNumbered = 0;
    std::vector<Frame> m_frames;
    QString m_title;
    QString m_url;
    QString m_baseUrl;
    std::shared_ptr<LiveChannel> m_channel;
    // Parses markup written here when no page does (documents of tests); the program sets none.
    std::shared_ptr<const FragmentParser> m_fragmentParser;
    int m_snapshot = -1;    // the live page's snapshot id of this document
    int m_nextHandle = 0;   // the handle the live page gives to its next new element
    std::vector<Element*> m_byHandle; // the elements with a handle, by handle
    mutable bool m_imagesStale = false; // the images' views are to be asked of the page
    void refreshImages() const;
};

// How the serializer reads a page.
struct SerializerOptions {
    // Keep the page's elements for the writes of a live channel (in the world the script runs in).
    bool handles = true;
    // Make images with loading="lazy" that have not loaded load first, waiting at most lazyWaitMs; the
    // script's value is then a promise of the text.
    bool loadLazy = false;
    int lazyWaitMs = 3000;
    // Keep track of the top document on the page, so that Document::refresh can bring it up to date
    // at the cost of what changed.
    bool watch = false;
};

// The serializer script: evaluates to the JSON text of the page's document (a string).
QString serializerScript(const SerializerOptions& options = {});

} // namespace pxt
