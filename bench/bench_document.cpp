// The document model on gallery-sized pages: building from HTML text and from the serializer's JSON,
// the reads of a harvest, and the innerHTML appends of a size probe run.

#include "dom/Document.h"
#include "testing/HtmlDocument.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

#include <sys/resource.h>

using namespace pxt;

namespace {

// A gallery of 10,000 thumbnail links and 10,000 text links, in three tables (as three frames
// would hold them).
QString galleryHtml()
{
    QString html = "<html><head><title>Bench Gallery</title></head><body>\n";
    int link = 0;
    for (int table = 0; table < 3; ++table) {
        html += "<table border=0>\n<tr>";
        const int end = (table + 1) * 20000 / 3;
        for (int cell = 0; link < end; ++link, ++cell) {
            if (cell > 0 && cell % 8 == 0)
                html += "</tr>\n<tr>";
            if (link % 2 == 0)
                html += QStringLiteral("<td><a href=\"http://pics.test/full/%1.jpg\"><img src=\"http://pics.test/thumb/%1.jpg\" "
                                       "width=%2 height=%3></a></td>")
                            .arg(link)
                            .arg(60 + link % 90)
                            .arg(60 + link % 70);
            else
                html += QStringLiteral("<td><a href=\"/page/%1.html\">Gallery page %1</a></td>").arg(link);
        }
        html += "</tr>\n</table>\n";
    }
    return html + "</body></html>";
}

// The thumbnail page of 10,000 cells, as the size probe sees it.
QString thumbnailPage()
{
    QString html = "<html><HEAD><title>Thumbnails from Bench</title></head><body><form><font face=arial size=2>"
                   "<table align=center border=0 width=100%><tr>\r\n";
    for (int i = 0; i < 10000; ++i) {
        if (i > 0 && i % 5 == 0)
            html += "</tr><tr>\r\n";
        const QString l = QStringLiteral("http://pics.test/full/%1.jpg").arg(i);
        html += "<td valign=bottom><a href=\"" + l + "\"><img border=0 alt=\"View Image: " + l + "\" src=http://pics.test/t/"
              + QString::number(i) + ".jpg></a><div id=" + l + " ><input type=checkbox name=\"" + QString::number(i)
              + ".jpg\" value=\"" + l + "\"><font style=\"font-family:Arial; font-weight:bold; font-size:11px;\">&nbsp;"
              + QString::number(i) + ".jpg</font></div><br>\r\n";
    }
    return html + "</tr></table>";
}

// The document as the serializer would send it.
QByteArray serializerJson(const Document& doc)
{
    QJsonArray nodes;
    QHash<const Node*, int> index;
    QHash<QString, int> written; // a string comes once, then by its number
    const auto str = [&](const QString& text) -> QJsonValue {
        const auto it = written.constFind(text);
        if (it != written.constEnd())
            return *it;
        written.insert(text, int(written.size()));
        return text;
    };
    int count = 0;
    const Node* n = doc.documentElement();
    while (n) {
        const int parent = n->parentNode() ? index.value(n->parentNode()) : -1;
        if (const Element* e = n->asElement()) {
            const QString& t = e->tagName();
            const int kind = t == "IMG" ? 3 : t == "A" || t == "AREA" ? 4 : t == "INPUT" ? 5 : 2;
            nodes << parent << kind << str(e->localName()) << int(e->attributes().size());
            for (const Attribute& a : e->attributes())
                nodes << str(a.name) << str(a.value);
            if (kind == 3)
                nodes << e->width() << e->height() << str(e->href());
            else if (kind == 4)
                nodes << str(e->href());
            else if (kind == 5)
                nodes << (e->checked() ? 1 : 0) << str(e->value());
        } else {
            nodes << parent << (n->type() == NodeType::Text ? 0 : 1) << str(n->data());
        }
        index.insert(n, count++);
        if (n->asElement() && n->firstChild()) {
            n = n->firstChild();
            continue;
        }
        while (n && !n->nextSibling())
            n = n->parentNode();
        if (n)
            n = n->nextSibling();
    }
    QJsonObject o{{"v", 2}, {"id", 1}, {"url", doc.url()}, {"title", doc.title()}, {"nodes", nodes}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

double ms(QElapsedTimer& t)
{
    const double v = double(t.nsecsElapsed()) / 1e6;
    t.restart();
    return v;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QElapsedTimer t;

    const QString gallery = galleryHtml();
    t.start();
    const auto doc = htmlDocument(gallery, "http://pics.test/gallery.html");
    const double build = ms(t);
    std::printf("gallery from HTML text: %.1f ms (%lld characters, %zu elements, %zu links; target under 500 ms)\n",
                build, qlonglong(gallery.size()), doc->all().size(), doc->links().size());

    qsizetype images = 0;
    for (Element* link : doc->links())
        images += link->innerHTMLContains(QLatin1StringView("IMG"));
    std::printf("harvest reads (links, the image test of each): %.1f ms (%lld with an image)\n", ms(t), qlonglong(images));

    // Hostile text for the builder: deeply nested markup, and a text that holds many form end tags.
    const QString nested = QString("<div>").repeated(10000);
    t.restart();
    const auto deep = htmlDocument(nested, "http://pics.test/deep.html");
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("50 KB of nested divs from HTML text: %.1f ms (%zu elements; peak memory so far %.0f MB)\n", ms(t),
                deep->all().size(), usage.ru_maxrss / 1024.0);
    const QString forms = "<textarea>" + QString("x</form>").repeated(20000) + "</textarea>";
    t.restart();
    const auto formText = htmlDocument(forms, "http://pics.test/forms.html");
    std::printf("a text holding 20,000 form end tags: %.1f ms\n", ms(t));

    const auto page = htmlDocument(thumbnailPage(), "file:///bench/thumbs.html");
    const QByteArray json = serializerJson(*page);
    t.restart();
    const auto live = Document::fromJson(json);
    std::printf("thumbnail page from serializer JSON: %.1f ms (%.2f MB, %zu elements)\n", ms(t), json.size() / 1e6,
                live->all().size());
    // No page parses the appends here: they are parsed as on the test view's pages.
    parseWritesWithGumbo(*live);

    // A size probe run: 5,000 appends into the divs of a page of 50,000 elements.
    std::vector<Element*> divs;
    for (Element* e : live->all())
        if (e->tagName() == "DIV")
            divs.push_back(e);
    t.restart();
    for (size_t i = 0; i < 5000 && i < divs.size(); ++i) {
        Element* d = divs[i * 2];
        d->setInnerHTML(d->innerHTML() + QStringLiteral("<font style=\"font-size:11px;\">&nbsp;&nbsp;%1 kB </font>").arg(i));
    }
    std::printf("5,000 innerHTML appends on %zu elements: %.1f ms\n", live->all().size(), ms(t));
    return 0;
}
