#pragma once

// The small galleries, written the way sites are written now, that a grab from a running browser must
// turn into the same cells of "thumbs.html" whichever browser shows them: the sites, the cases and the
// cells of a thumbnail page.

#include "app/ProgressWindow.h"
#include "browser/BrowserWindows.h"
#include "browser/webengine/WebEngineViewFactory.h"
#include "dom/Document.h"
#include "testing/HtmlDocument.h"
#include "panes/ThumbnailsPane.h"
#include "settings/Settings.h"
#include "testing/RecordingDialogs.h"
#include "tests/support/Processes.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <vector>

namespace pxt::test {

inline void writeImage(const QString& path, int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    ASSERT_TRUE(image.save(path, "PNG"));
}

// A transparent 1 by 1 GIF, as lazy-load scripts put in src until the picture is near.
inline const char* const kPlaceholder =
    "data:image/gif;base64,R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7";

struct Cell {
    QString link;
    QString image;
    bool operator==(const Cell& o) const { return link == o.link && image == o.image; }
};

inline void PrintTo(const Cell& c, std::ostream* os)
{
    *os << c.link.toStdString() << " <- " << c.image.toStdString();
}

// The cells of a thumbnail page: each cell's link and the src of its image, in page order.
inline std::vector<Cell> cells(const QByteArray& page)
{
    std::vector<Cell> out;
    const auto doc = htmlDocument(QString::fromLatin1(page), QStringLiteral("file:///thumbs.html"));
    for (Element* a : doc->links()) {
        for (Element* img : a->children())
            if (img->tagName() == QLatin1String("IMG"))
                out.push_back({a->getAttribute(QStringLiteral("href")), img->getAttribute(QStringLiteral("src"))});
    }
    return out;
}

struct GalleryCase {
    const char* name;
    QString body;
    std::vector<Cell> expected;
};

// The galleries' site and a second one of another origin (another port, and another site, localhost,
// which a browser runs in a process of its own), each served by a local server.
class GallerySites {
public:
    QTemporaryDir site;
    QTemporaryDir otherSite;
    std::unique_ptr<StaticServer> server;
    std::unique_ptr<StaticServer> other;
    QString base;          // the site's address
    QString otherBase;     // the other origin, on 127.0.0.1
    QString otherSiteBase; // the other origin, on localhost
    std::vector<GalleryCase> cases;

    // Writes the pictures and frame pages and starts the servers; the cases' pages are written by
    // page().
    void SetUp()
    {
        ASSERT_TRUE(site.isValid() && otherSite.isValid());
        QDir(site.path()).mkpath(QStringLiteral("pics"));
        for (const char* name : {"t1", "t2", "t3", "t4", "small", "big", "source", "fallback", "t5"})
            writeImage(site.filePath(QStringLiteral("%1.png").arg(QLatin1String(name))), 96, 72);
        server = std::make_unique<StaticServer>(site.path());
        ASSERT_NE(server->port(), 0);
        base = server->url(QString());
        other = std::make_unique<StaticServer>(otherSite.path());
        ASSERT_NE(other->port(), 0);
        writeImage(otherSite.filePath(QStringLiteral("o.png")), 96, 72);
        writeFile(otherSite.filePath(QStringLiteral("inner.html")),
                  "<html><body><a href=\"o1.jpg\">\n<img src=\"o.png\">\n</a></body></html>");
        writeFile(otherSite.filePath(QStringLiteral("outer.html")),
                  "<html><body><a href=\"o2.jpg\"><img src=\"o.png\"></a>"
                  "<iframe src=\"inner.html\"></iframe></body></html>");
        otherBase = QStringLiteral("http://127.0.0.1:%1/").arg(other->port());
        otherSiteBase = QStringLiteral("http://localhost:%1/").arg(other->port());

        cases = {
            {"indented nested markup",
             "<a href=\"pics/1.jpg\">\n  <div class=\"thumb\">\n    <img src=\"t1.png\">\n  </div>\n</a>",
             {{base + "pics/1.jpg", base + "t1.png"}}},
            {"data-src placeholder",
             QStringLiteral("<a href=\"pics/2.jpg\"><img src=\"%1\" data-src=\"t2.png\" width=\"96\" height=\"72\"></a>")
                 .arg(QLatin1String(kPlaceholder)),
             {{base + "pics/2.jpg", base + "t2.png"}}},
            {"lazy image far below the fold without size attributes",
             "<div style=\"height:20000px\"></div><a href=\"pics/3.jpg\"><img loading=\"lazy\" src=\"t3.png\"></a>",
             {{base + "pics/3.jpg", base + "t3.png"}}},
            {"lazy image that does not load: its lazy-load address and its size attributes",
             "<div style=\"height:20000px\"></div><a href=\"pics/8.jpg\"><img loading=\"lazy\" src=\"missing.png\" "
             "data-lazy-src=\"t4.png\" width=\"96\" height=\"72\"></a>",
             {{base + "pics/8.jpg", base + "t4.png"}}},
            {"srcset with 1x and 2x",
             "<a href=\"pics/4.jpg\"><img src=\"fallback.png\" srcset=\"small.png 1x, big.png 2x\"></a>",
             {{base + "pics/4.jpg", base + "small.png"}}},
            {"picture with a source",
             "<a href=\"pics/5.jpg\">\n<picture>\n<source srcset=\"source.png\">\n<img src=\"fallback.png\">\n</picture>\n</a>",
             {{base + "pics/5.jpg", base + "source.png"}}},
            {"frames of another origin, in the document's frame order",
             QStringLiteral("<a href=\"pics/7.jpg\"><img src=\"t1.png\"></a>"
                            "<iframe src=\"%1outer.html\"></iframe><iframe src=\"%2inner.html\"></iframe>")
                 .arg(otherBase, otherSiteBase),
             {{base + "pics/7.jpg", base + "t1.png"},
              {otherBase + "o2.jpg", otherBase + "o.png"},
              {otherBase + "o1.jpg", otherBase + "o.png"},
              {otherSiteBase + "o1.jpg", otherSiteBase + "o.png"}}},
            {"page that changes built-ins",
             "<script>Array.prototype.toJSON = function () { return 'broken'; };"
             "JSON.stringify = function () { return '\"broken\"'; };</script>"
             "<a href=\"pics/6.jpg\"><img src=\"t5.png\"></a>",
             {{base + "pics/6.jpg", base + "t5.png"}}},
        };
    }

    // Writes the page of case i and returns its address.
    QString page(size_t i)
    {
        const GalleryCase& c = cases[i];
        const QString file = QStringLiteral("case%1.html").arg(i);
        writeFile(site.filePath(file), ("<!DOCTYPE html><html><head><title>" + QByteArray(c.name)
                                        + "</title></head><body>\n" + c.body.toUtf8() + "\n</body></html>"));
        return server->url(file);
    }
};

// The global names of a page's own world, to see that a grab adds none.
inline const char* const kGlobalNames = "Object.getOwnPropertyNames(globalThis).sort().join(',')";

// Grabs the window's page into the thumbnail page and checks its cells, no box on the way, and that
// the grab added nothing to the page's own world (globalNames reads it there).
inline void expectGrabbedCells(ThumbnailsPane& thumbs, RecordingDialogs& messages, const TempProgramFolder& folder,
                               BrowserWindow& window, const std::vector<Cell>& expected,
                               const std::function<QString()>& globalNames)
{
    const QString namesBefore = globalNames();
    thumbs.stop();
    thumbs.grabDocument(window.document(), false);
    EXPECT_TRUE(messages.errors.isEmpty()) << messages.errors.join('\n').toStdString();
    EXPECT_TRUE(messages.informations.isEmpty()) << messages.informations.join('\n').toStdString();
    messages.errors.clear();
    messages.informations.clear();
    EXPECT_EQ(cells(folder.read(QStringLiteral("thumbs.html"))), expected);
    EXPECT_EQ(globalNames(), namesBefore);
}

// A thumbnails pane of its own, shown, writing into a program folder of its own.
struct ThumbsPane {
    TempProgramFolder folder;
    RecordingDialogs messages;
    WebEngineViewFactory views{messages};
    Settings settings;
    ProgressWindow progress;
    ThumbnailsPane thumbs{views, settings, progress, messages};
    ThumbsPane()
    {
        thumbs.resize(445, 600);
        thumbs.show();
    }
};

// A browser as the gallery cases drive it: open shows a page, windowOf finds the window showing it
// with its title once it can be grabbed (null when it does not come), evaluateInPage reads the page's
// own world.
struct GalleryBrowser {
    std::function<void(const QString& url)> open;
    std::function<std::shared_ptr<BrowserWindow>(const QString& url, const QString& title)> windowOf;
    std::function<QString(const QString& url, const QString& script)> evaluateInPage;
};

// The thumbnail page of case i is the one kept in tests/fixtures/galleries, byte for byte, the sites'
// ports aside (PXT_WRITE_GOLDEN=1 writes it there instead).
inline void expectTheKeptThumbnailPage(const GallerySites& sites, size_t i, QByteArray page)
{
    page.replace(sites.base.toLatin1(), "http://SITE/");
    page.replace(sites.otherBase.toLatin1(), "http://OTHER/");
    page.replace(sites.otherSiteBase.toLatin1(), "http://OTHERSITE/");
    const QString name = QStringLiteral("galleries/case%1.html").arg(i);
    if (qEnvironmentVariableIsSet("PXT_WRITE_GOLDEN")) {
        QDir().mkpath(fixturePath(QStringLiteral("galleries")));
        QFile file(fixturePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(page);
        return;
    }
    EXPECT_EQ(page, readFixture(name)) << "the thumbnail page of " << name.toStdString();
}

// Every gallery case, grabbed from the browser into a thumbnail pane of its own (expectGrabbedCells).
inline void expectEveryGalleryGrabbed(GallerySites& sites, const GalleryBrowser& browser)
{
    ThumbsPane pane;
    for (size_t i = 0; i < sites.cases.size(); ++i) {
        const GalleryCase& c = sites.cases[i];
        SCOPED_TRACE(c.name);
        const QString url = sites.page(i);
        browser.open(url);
        const std::shared_ptr<BrowserWindow> window = browser.windowOf(url, QString::fromUtf8(c.name));
        ASSERT_TRUE(window) << "the page did not come up with its title";
        expectGrabbedCells(pane.thumbs, pane.messages, pane.folder, *window, c.expected,
                           [&] { return browser.evaluateInPage(url, QString::fromLatin1(kGlobalNames)); });
        expectTheKeptThumbnailPage(sites, i, pane.folder.read(QStringLiteral("thumbs.html")));
    }
}

} // namespace pxt::test
