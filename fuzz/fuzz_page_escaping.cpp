// The writers of the generated pages: a thumbnail page of one cell and a view page, each in the
// page's ISO-8859-1 bytes, read back with an HTML5 parser (gumbo, as the tests' pages are); every
// attribute and text a value was written into gives back that value exactly, characters beyond
// ISO-8859-1 too. The same for the size probe's failure text, written into a live page as markup.
//
// The input is the values as UTF-8, separated by NUL: the document's title, its address, the link,
// the picture and the name. NUL is the one character a page cannot carry at all (a parser drops it or
// makes it U+FFFD, and "&#0;" too); invalid UTF-8 becomes U+FFFD first, so no lone surrogate is left.
//
// gumbo makes U+FFFD of a control other than a blank (C0, DEL, C1) that stands in the text itself,
// and of a noncharacter, where a browser keeps them; as a reference it keeps them too. A value is
// compared to what gumbo makes of it: that the page holds such a character itself is no fault.
#include "core/AsciiText.h"
#include "dom/Document.h"
#include "pages/PageText.h"
#include "pages/SizeText.h"
#include "pages/ThumbPage.h"
#include "pages/ViewPage.h"
#include "testing/HtmlDocument.h"

#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// A value that is not given back: what was written, the value and what the parser made of it.
[[noreturn]] void fail(const char* where, const QString& value, const QString& read, const QByteArray& page)
{
    auto codes = [](const QString& s) {
        QByteArray out;
        for (QChar c : s)
            out += QByteArray::number(c.unicode(), 16) + ' ';
        return out;
    };
    std::fprintf(stderr, "%s: the value is not given back\n  value: %s\n  read:  %s\n  page:\n%s\n", where,
                 codes(value).constData(), codes(read).constData(), page.constData());
    std::abort();
}

QString joined(const QByteArray& page) { return QString::fromLatin1(page); }

bool gumboReplaces(char32_t c, bool markup)
{
    const bool control = (c >= 0x01 && c <= 0x08) || c == 0x0B || (c >= 0x0E && c <= 0x1F) || (c >= 0x7F && c <= 0x9F);
    const bool noncharacter = (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
    // Page bytes hold only the characters below U+0100 themselves, markup every one.
    return control || (markup && noncharacter);
}

// The value as gumbo reads it where the characters stand themselves: in page bytes, or in markup.
QString asRead(const QString& value, bool markup = false)
{
    QString out;
    for (char32_t c : value.toUcs4()) {
        if (gumboReplaces(c, markup))
            c = 0xFFFD;
        out += QString::fromUcs4(&c, 1);
    }
    return out;
}

QByteArray pageBytes(const pxt::PageLines& lines)
{
    QByteArray page;
    for (const QByteArray& line : lines)
        page += line + "\r\n";
    return page;
}

// The text of the element's children up to its first element child.
QString leadingText(const pxt::Element* e)
{
    QString text;
    for (const pxt::Node* n = e ? e->firstChild() : nullptr; n && n->type() != pxt::NodeType::Element; n = n->nextSibling())
        if (n->type() == pxt::NodeType::Text)
            text += n->data();
    return text;
}

// The first element of the tag name that has the attribute (any when attribute is empty) and, when
// parentTag is given, that parent.
const pxt::Element* find(const pxt::Document& doc, const char* tag, const char* attribute = "",
                         const char* parentTag = nullptr)
{
    for (const pxt::Element* e : doc.all()) {
        if (e->tagName() != QLatin1String(tag) || (*attribute && !e->hasAttribute(QLatin1String(attribute))))
            continue;
        if (parentTag && (!e->parentElement() || e->parentElement()->tagName() != QLatin1String(parentTag)))
            continue;
        return e;
    }
    return nullptr;
}

void expectAttribute(const char* where, const pxt::Element* e, const char* name, const QString& value, const QByteArray& page)
{
    const QString read = e ? e->getAttribute(QLatin1String(name)) : QStringLiteral("(no element)");
    if (read != value)
        fail(where, value, read, page);
}

void expectText(const char* where, const pxt::Element* e, const QString& value, const QByteArray& page)
{
    const QString read = e ? leadingText(e) : QStringLiteral("(no element)");
    if (read != value)
        fail(where, value, read, page);
}

void checkThumbPage(const QString& title, const QString& url, const QString& link, const QString& image,
                    const QString& name)
{
    pxt::HarvestResult result;
    result.documents.push_back({url, {}, true});
    result.cells.push_back({link, image, name, 0});
    const QByteArray page = pageBytes(pxt::ThumbPage::grabbedPage({}, title, url, result, 2, 200));
    const auto doc = pxt::htmlDocument(joined(page), QStringLiteral("file:///thumbs.html"));

    expectText("the page's title", find(*doc, "TITLE"), asRead(pxt::ThumbPage::pageTitle(title)), page);
    expectText("the document's title", find(*doc, "B", "", "FONT"), asRead(title), page);
    const pxt::Element* documentLink = find(*doc, "A", "target");
    expectAttribute("the document's address", documentLink, "href", asRead(url), page);
    expectText("the document's address as text", documentLink, asRead(url), page);

    const QString readLink = asRead(link);
    expectAttribute("the link", find(*doc, "A", "href", "TD"), "href", readLink, page);
    const pxt::Element* img = find(*doc, "IMG", "border");
    expectAttribute("the link in the alternative text", img, "alt", QStringLiteral("View Image: ") + readLink, page);
    expectAttribute("the picture, unquoted", img, "src", asRead(image), page);
    expectAttribute("the link, unquoted", find(*doc, "DIV", "id"), "id", readLink, page);
    const pxt::Element* box = find(*doc, "INPUT", "type");
    expectAttribute("the name of the box", box, "name", asRead(name), page);
    expectAttribute("the link as the box's value", box, "value", readLink, page);
    expectText("the name as text", find(*doc, "FONT", "style", "DIV"), QChar(0xA0) + asRead(name), page);
}

void checkViewPage(const QString& title, const QStringList& pictures)
{
    const QByteArray page = pageBytes(pxt::viewPage(pictures, pxt::viewPageHead(title)));
    const auto doc = pxt::htmlDocument(joined(page), QStringLiteral("file:///view.html"));
    expectText("the view page's title", find(*doc, "TITLE"), asRead(title), page);
    qsizetype k = 0;
    for (const pxt::Element* e : doc->all()) {
        if (e->tagName() == QLatin1String("IMG") && k < pictures.size())
            expectAttribute("a picture of the view page, unquoted", e, "src", asRead(pictures[k++]), page);
    }
    if (k != pictures.size())
        fail("the view page's pictures", pictures.join(QLatin1Char(' ')), QString::number(k), page);
    // The addresses as text: those that are no local files.
    k = 0;
    for (const pxt::Element* e : doc->all()) {
        if (e->tagName() != QLatin1String("FONT"))
            continue;
        while (k < pictures.size() && pxt::asciiUpper(pictures[k]).contains(QLatin1String("FILE://")))
            ++k;
        if (k < pictures.size())
            expectText("a picture's address as text", e, asRead(pictures[k++]), page);
    }
}

void checkFailureText(const QString& label, const QString& reason)
{
    const QString markup = QStringLiteral("<div>") + pxt::SizeText::failureText(label, reason) + QStringLiteral("</div>");
    const auto doc = pxt::htmlDocument(markup, QStringLiteral("file:///thumbs.html"));
    const pxt::Element* font = find(*doc, "FONT", "title");
    expectAttribute("a failure's reason", font, "title", asRead(reason, true), markup.toUtf8());
    expectText("a failure's label", font, QString(2, QChar(0xA0)) + asRead(label, true) + QLatin1Char(' '), markup.toUtf8());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QList<QByteArray> parts = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)).split('\0');
    QStringList values;
    for (qsizetype i = 0; i < 5; ++i)
        values << QString::fromUtf8(parts.value(i));
    const QString& title = values[0];
    const QString& url = values[1];
    const QString& link = values[2];
    const QString& image = values[3];
    const QString& name = values[4];

    checkThumbPage(title, url, link, image, name);
    checkViewPage(title, {image, link});
    checkFailureText(name, link);
    return 0;
}
