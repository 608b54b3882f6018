// Documents from the JSON of the live-page serializer (serializer.js beside it describes the format).
// The text is read in one pass straight into the tree: a page of 10,000 thumbnails is some 3 MB of
// JSON, and a general JSON tree in between would cost as much again. A string that comes again is
// shared, not copied.

#include "dom/DocumentBuilder.h"
#include "core/Error.h"
#include "dom/JsonReader.h"
#include "dom/SerializerScript.h"

#include <QFile>
#include <QHash>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <cmath>
#include <limits>

namespace pxt {

namespace {

enum Kind { KText, KComment, KElement, KImage, KLink, KInput, KForeign, KLinkBackground, KBackground, KLast = KBackground };

[[noreturn]] void fail(const QString& why)
{
    throw Error(QStringLiteral("The page's document could not be read: %1").arg(why));
}

// The tag names of HTML elements by local name, shared over a page and its frames.
struct TagNames {
    QHash<QString, QString> upper;

    QString of(const QString& localName)
    {
        auto it = upper.constFind(localName);
        if (it == upper.constEnd())
            it = upper.insert(localName, localName.toUpper());
        return *it;
    }
};

// Reads the values of the flat node list one after the other, checking each.
class NodeReader {
public:
    explicit NodeReader(JsonReader& json) : m_json(json), m_cursor(json) {}

    // Starts the next record; false at the end of the list.
    bool nextRecord(qsizetype index)
    {
        m_record = index;
        m_pending = m_cursor.next();
        return m_pending;
    }

    qint64 integer(const char* what, qint64 lo, qint64 hi)
    {
        if (advance() != JsonReader::Number)
            bad(what);
        const double d = m_json.number();
        if (d != std::floor(d) || d < double(lo) || d > double(hi))
            bad(what);
        return qint64(d);
    }
    // A string written out, or the number of one written out before (the same text, shared).
    QString string(const char* what)
    {
        const JsonReader::Type t = advance();
        if (t == JsonReader::String) {
            m_written.push_back(m_json.string());
            return m_written.back();
        }
        if (t != JsonReader::Number)
            bad(what);
        const double k = m_json.number();
        if (k != std::floor(k) || k < 0 || k >= double(m_written.size()))
            bad(what);
        return m_written[size_t(k)];
    }
    bool flag(const char* what)
    {
        switch (advance()) {
        case JsonReader::Bool: return m_json.boolean();
        case JsonReader::Number: return m_json.number() != 0;
        default: bad(what);
        }
    }
    // A laid-out size: any number, clamped to what an int holds.
    int size(const char* what)
    {
        if (advance() != JsonReader::Number)
            bad(what);
        const double d = m_json.number();
        if (!(d > 0))
            return 0;
        return d >= double(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max() : int(d);
    }

private:
    JsonReader::Type advance()
    {
        if (!m_pending && !m_cursor.next())
            fail(QStringLiteral("node %1 is cut short").arg(m_record));
        m_pending = false;
        return m_json.peek();
    }
    [[noreturn]] void bad(const char* what)
    {
        fail(QStringLiteral("node %1 has a bad %2").arg(m_record).arg(QLatin1String(what)));
    }

    JsonReader& m_json;
    JsonReader::ArrayCursor m_cursor;
    std::vector<QString> m_written;
    qsizetype m_record = 0;
    bool m_pending = false;
};

QString optionalString(JsonReader& r, const QString& key)
{
    const JsonReader::Type t = r.peek();
    if (t == JsonReader::Null) {
        r.null();
        return QString();
    }
    if (t != JsonReader::String)
        fail(QStringLiteral("its %1 is not a string").arg(key));
    return r.string();
}

// The nodes of the list at hand, into root (the document's root, or an element written to) with the
// page's handles from firstHandle on; returns the number of elements. made: the elements, in order.
int readNodes(JsonReader& r, Document& doc, Node* root, int firstHandle, TagNames& tagNames,
              std::vector<Element*>* made = nullptr)
{
    NodeReader nodes(r);
    std::vector<Node*> byIndex;
    int elements = 0;
    for (qsizetype index = 0; nodes.nextRecord(index); ++index) {
        const qint64 parent = nodes.integer("parent", -1, index - 1);
        Node* into = parent < 0 ? root : byIndex[size_t(parent)];
        if (into != root && into->type() != NodeType::Element)
            fail(QStringLiteral("node %1 has a parent that is not an element").arg(index));
        const auto kind = Kind(nodes.integer("kind", 0, KLast));
        Node* node = nullptr;
        if (kind == KText || kind == KComment) {
            node = DocumentBuilder::newCharacterData(doc, kind == KText ? NodeType::Text : NodeType::Comment,
                                                     nodes.string("text"));
        } else {
            const QString localName = nodes.string("name");
            const QString tagName = kind == KForeign ? nodes.string("tag name") : tagNames.of(localName);
            if (localName.isEmpty())
                fail(QStringLiteral("node %1 has no name").arg(index));
            Element* e = DocumentBuilder::newElement(doc, localName, kind != KForeign, tagName);
            const qint64 count = nodes.integer("attribute count", 0, std::numeric_limits<int>::max());
            DocumentBuilder::reserveAttributes(e, qsizetype(std::min<qint64>(count, 64)));
            for (qint64 i = 0; i < count; ++i) {
                const QString name = nodes.string("attribute name");
                DocumentBuilder::addAttribute(e, name, nodes.string("attribute value"));
            }
            if (kind == KImage) {
                const int width = nodes.size("width");
                const int height = nodes.size("height");
                DocumentBuilder::setImageView(e, width, height, nodes.string("src"));
            } else if (kind == KLink || kind == KLinkBackground) {
                DocumentBuilder::setLinkView(e, nodes.string("href"));
            } else if (kind == KInput) {
                const bool checked = nodes.flag("checked state");
                DocumentBuilder::setInputView(e, checked, nodes.string("value"));
            }
            if (kind == KLinkBackground || kind == KBackground) {
                const int width = nodes.size("width");
                const int height = nodes.size("height");
                DocumentBuilder::setBackgroundView(e, width, height, nodes.string("background"));
            }
            if (firstHandle > std::numeric_limits<int>::max() - elements)
                fail(QStringLiteral("node %1 has no handle").arg(index));
            DocumentBuilder::setHandle(e, firstHandle + elements++);
            if (made)
                made->push_back(e);
            node = e;
        }
        DocumentBuilder::appendChild(into, node);
        byIndex.push_back(node);
    }
    return elements;
}

// The document object at hand, or the reason a frame's document could not be read.
Frame readDocument(JsonReader& r, const std::shared_ptr<LiveChannel>& channel, int depth, TagNames& tagNames)
{
    std::shared_ptr<Document> doc = DocumentBuilder::newDocument(QString());
    QString url, title, base, error;
    bool hasBase = false, hasNodes = false, hasError = false;
    int snapshot = -1, elements = 0;
    std::vector<Frame> frames;
    r.object([&](const QString& key) {
        if (key == QLatin1String("v")) {
            if (r.peek() != JsonReader::Number || r.number() != 2)
                fail(QStringLiteral("it is of an unknown format"));
        } else if (key == QLatin1String("id")) {
            const double d = r.peek() == JsonReader::Number ? r.number() : -1;
            if (d != std::floor(d) || d < 0 || d > std::numeric_limits<int>::max())
                fail(QStringLiteral("its snapshot id is not a number"));
            snapshot = int(d);
        } else if (key == QLatin1String("url")) {
            url = optionalString(r, key);
        } else if (key == QLatin1String("title")) {
            title = optionalString(r, key);
        } else if (key == QLatin1String("base")) {
            base = optionalString(r, key);
            hasBase = true;
        } else if (key == QLatin1String("error")) {
            error = optionalString(r, key);
            hasError = true;
        } else if (key == QLatin1String("nodes")) {
            if (r.peek() != JsonReader::Array)
                fail(QStringLiteral("the node list is missing"));
            hasNodes = true;
            elements = readNodes(r, *doc, DocumentBuilder::root(*doc), 0, tagNames);
        } else if (key == QLatin1String("frames")) {
            if (r.peek() != JsonReader::Array)
                fail(QStringLiteral("its frame list is not a list"));
            JsonReader::ArrayCursor entries(r);
            for (int i = 0; entries.next(); ++i) {
                if (r.peek() != JsonReader::Object)
                    fail(QStringLiteral("frame %1 is not an object").arg(i));
                if (depth + 1 >= Document::kMaxFrameDepth) {
                    r.skip();
                    frames.push_back({nullptr, QStringLiteral("the frames are nested too deeply")});
                } else {
                    frames.push_back(readDocument(r, channel, depth + 1, tagNames));
                }
            }
        } else {
            r.skip();
        }
    });
    if (hasError)
        return {nullptr, error};
    if (!hasNodes)
        fail(QStringLiteral("the node list is missing"));
    DocumentBuilder::setUrl(*doc, url);
    DocumentBuilder::setTitle(*doc, title);
    DocumentBuilder::setBaseUrl(*doc, hasBase ? base : url);
    DocumentBuilder::rebuildAll(*doc);
    DocumentBuilder::setLive(*doc, channel, snapshot, elements);
    for (Frame& f : frames)
        DocumentBuilder::addFrameEntry(*doc, std::move(f));
    return {doc, {}};
}

} // namespace

std::shared_ptr<Document> Document::fromJson(const QByteArray& json, std::shared_ptr<LiveChannel> channel)
{
    try {
        JsonReader r(json);
        if (r.peek() != JsonReader::Object) {
            r.skip();
            r.expectEnd();
            fail(QStringLiteral("it is not a JSON object"));
        }
        TagNames tagNames;
        Frame top = readDocument(r, channel, 0, tagNames);
        r.expectEnd();
        if (!top.document)
            fail(top.error);
        return top.document;
    } catch (const JsonSyntaxError& e) {
        fail(e.text());
    }
}

std::vector<Element*> DocumentBuilder::appendFromJson(Element* parent, const QByteArray& json, int& firstHandle)
{
    std::vector<Element*> made;
    Node* const last = parent->lastChild();
    try {
        JsonReader r(json);
        if (r.peek() != JsonReader::Object)
            fail(QStringLiteral("the page's answer to a write is not a JSON object"));
        TagNames tagNames;
        bool hasFirst = false;
        r.object([&](const QString& key) {
            if (key == QLatin1String("first")) {
                const double d = r.peek() == JsonReader::Number ? r.number() : -1;
                if (d != std::floor(d) || d < 0 || d > std::numeric_limits<int>::max())
                    fail(QStringLiteral("the first new handle is not a number"));
                firstHandle = int(d);
                hasFirst = true;
            } else if (key == QLatin1String("nodes") && hasFirst && r.peek() == JsonReader::Array) {
                readNodes(r, *parent->ownerDocument(), parent, firstHandle, tagNames, &made);
            } else {
                r.skip();
            }
        });
        r.expectEnd();
        if (!hasFirst)
            fail(QStringLiteral("the page's answer to a write names no handle"));
    } catch (const JsonSyntaxError& e) {
        DocumentBuilder::removeChildrenAfter(parent, last);
        fail(e.text());
    } catch (...) {
        DocumentBuilder::removeChildrenAfter(parent, last);
        throw;
    }
    return made;
}

bool DocumentBuilder::applyChanges(Document& doc, const QByteArray& json)
{
    try {
        JsonReader r(json);
        if (r.peek() == JsonReader::Null) {
            r.null();
            r.expectEnd();
            return false;
        }
        if (r.peek() != JsonReader::Array)
            fail(QStringLiteral("the page's changes are not a list"));
        NodeReader changes(r);
        for (qsizetype i = 0; changes.nextRecord(i); ++i) {
            const auto kind = Kind(changes.integer("kind", KImage, KInput));
            const qint64 handle = changes.integer("handle", 0, std::numeric_limits<int>::max());
            Element* e = size_t(handle) < doc.m_byHandle.size() ? doc.m_byHandle[size_t(handle)] : nullptr;
            if (kind == KInput) {
                const bool checked = changes.flag("checked state");
                const QString value = changes.string("value");
                if (e && isHtml(e, "input"))
                    setInputView(e, checked, value);
            } else if (kind == KImage) {
                const int width = changes.size("width");
                const int height = changes.size("height");
                const QString src = changes.string("src");
                if (e && isHtml(e, "img"))
                    setImageView(e, width, height, src);
            } else {
                fail(QStringLiteral("change %1 is of an unknown kind").arg(i));
            }
        }
        r.expectEnd();
        return true;
    } catch (const JsonSyntaxError& e) {
        fail(e.text());
    }
}

QString serializerFunction()
{
    static const QString function = [] {
        QFile f(QStringLiteral(":/serializer.js"));
        if (!f.open(QIODevice::ReadOnly))
            throw Error(QStringLiteral("The page serializer is missing from the program"));
        return QString::fromUtf8(f.readAll()).trimmed();
    }();
    return function;
}

QString serializerScript(const SerializerOptions& options)
{
    return serializerFunction()
        + QStringLiteral("({handles: %1, loadLazy: %2, lazyWaitMs: %3, watch: %4})")
              .arg(options.handles ? QLatin1String("true") : QLatin1String("false"),
                   options.loadLazy ? QLatin1String("true") : QLatin1String("false"))
              .arg(std::max(0, options.lazyWaitMs))
              .arg(options.watch ? QLatin1String("true") : QLatin1String("false"));
}

} // namespace pxt
