// The document from the serializer's JSON, and what the program then writes of it: the whole
// document's HTML, the innerHTML of its links, the outerHTML and innerHTML of a spread of its other
// elements, the same for each readable frame. The same text also as a page's report of changed
// inputs and images, taken into a small document.
#include "core/Error.h"
#include "dom/Document.h"
#include "dom/DocumentBuilder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Serializations of one document at most; a page of many elements is serialized at a spread of them.
constexpr std::size_t kSerialized = 64;
// Characters written for one input at most. A small text can make one element's HTML millions of
// characters long (thousands of text nodes that share one long string), and writing it again for
// each of its ancestors would let one input run for minutes; once is enough to find a fault.
constexpr qsizetype kBudget = 32 * 1024 * 1024;
qsizetype budget = 0;

void serialize(const pxt::Element* e)
{
    if (budget <= 0)
        return;
    try {
        const QString inner = e->innerHTML();
        const QString outer = e->outerHTML();
        budget -= inner.size() + outer.size();
        // The element's own text lies within its outer HTML.
        if (!outer.contains(inner)) {
            std::fprintf(stderr, "<%s>: innerHTML\n%s\nlies not within outerHTML\n%s\n", qPrintable(e->tagName()),
                         qPrintable(inner.left(2000)), qPrintable(outer.left(2000)));
            std::abort();
        }
    } catch (const pxt::Error&) {
        // an element too large to serialize fails on its own
    }
}

void walk(const pxt::Document& doc)
{
    doc.title();
    doc.url();
    const std::vector<pxt::Element*>& all = doc.all();
    for (const pxt::Element* e : all) {
        e->tagName();
        e->href();
        e->width();
        e->checked();
        for (const pxt::Attribute& a : e->attributes())
            e->getAttribute(a.name);
        const pxt::Element* parent = e->parentElement();
        if (parent && parent->ownerDocument() != &doc)
            std::abort();
    }
    if (const pxt::Element* root = doc.documentElement())
        serialize(root);
    const std::vector<pxt::Element*> links = doc.links();
    for (std::size_t i = 0; i < links.size() && i < kSerialized; ++i)
        serialize(links[i]);
    const std::size_t step = all.size() / kSerialized + 1;
    for (std::size_t i = 0; i < all.size(); i += step)
        serialize(all[i]);
    for (int i = 0; i < doc.framesLength(); ++i) {
        try {
            walk(*doc.frame(i));
        } catch (const pxt::Error&) {
            // an unreadable frame
        }
    }
}

// A box, a picture and a link, handles 0 to 3.
const QByteArray kReported = R"({"v":2,"id":1,"url":"file:///t.html","nodes":[-1,2,"div",0, 0,5,"input",0,0,"a",)"
                             R"( 0,3,"img",0,4,3,"file:///a.png", 0,4,"a",1,"href","b.html","file:///b.html"]})";

void changes(const QByteArray& json)
{
    const std::shared_ptr<pxt::Document> doc = pxt::Document::fromJson(kReported);
    try {
        pxt::DocumentBuilder::applyChanges(*doc, json);
    } catch (const pxt::Error&) {
        // a report that cannot be read
    }
    budget = kBudget;
    walk(*doc);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray json(reinterpret_cast<const char*>(data), qsizetype(size));
    changes(json);
    std::shared_ptr<pxt::Document> doc;
    try {
        doc = pxt::Document::fromJson(json);
    } catch (const pxt::Error&) {
        return 0;
    }
    budget = kBudget;
    walk(*doc);
    return 0;
}

