// Real galleries, grabbed from a running Chromium as a user meets them: pages built with gallery
// libraries from npm, each used as its documentation shows (a lazy loader's data-bg cards, a viewer's
// bare pictures with data-original), a generator's album index of CSS-background cards, and an
// encyclopedia's File: links, named like pictures, that answer with pages. Each grab finds every
// thumbnail, the probe sizes what is a picture and says "page" for what is not, and the view shows
// every picture, none broken.
#include "tests/app/GalleryInChromium.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCheckBox>
#include <QImage>

#include <atomic>
#include <map>

using namespace pxt;
using namespace pxt::test;

namespace {

QByteArray png(int width, int height, Qt::GlobalColor color)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray htmlPage(const QByteArray& title, const QByteArray& head, const QByteArray& body)
{
    return "<!DOCTYPE html><html><head><meta charset=utf-8><title>" + title + "</title>" + head + "</head><body>" + body
           + "</body></html>";
}

// The galleries' server: the libraries from tests/galleries/node_modules, thumbnails of 160 x 120
// (album covers 200 x 150), full pictures of 120 x 90 (10 kB), the pages below; thumbnails asked for
// are counted.
class RealGalleries : public GalleryInChromium {
protected:
    void serveGalleries()
    {
        const QString libraries = sourceDir() + QStringLiteral("/tests/galleries");
        serve([this, libraries](const QByteArray& r) -> Script {
            const QByteArray path = requestPath(r).split('?').first();
            if (path.startsWith("/node_modules/"))
                return serveFile(libraries, r);
            if (path.startsWith("/thumbs/")) {
                ++thumbnailsAsked;
                return reply("200 OK", "image/png", png(160, 120, Qt::darkGreen));
            }
            if (path.endsWith("/cover.png")) {
                ++thumbnailsAsked;
                return reply("200 OK", "image/png", png(200, 150, Qt::darkBlue));
            }
            if (path.startsWith("/big/") || path.startsWith("/upload/") || path.startsWith("/albums/"))
                if (path.endsWith(".jpg"))
                    return reply("200 OK", "image/jpeg", picture());
            if (path.startsWith("/albums/") && path.endsWith("/index.html")) {
                const QByteArray album = path.mid(8, path.indexOf('/', 8) - 8);
                return reply("200 OK", "text/html",
                             htmlPage(album, {}, "<h1>" + album + "</h1><img src=\"p1.jpg\"><img src=\"p2.jpg\">"));
            }
            if (path.startsWith("/wiki/File:")) {
                // The file's description page, the picture on it.
                const QByteArray file = path.mid(11);
                return reply("200 OK", "text/html; charset=UTF-8",
                             htmlPage("File:" + file, {}, "<div id=file><a href=\"/upload/" + file + "\"><img src=\"/upload/"
                                      + file + "\" width=120 height=90></a></div><p>Description</p>"));
            }
            const auto it = pages.find(path);
            if (it != pages.end())
                return reply("200 OK", "text/html", it->second);
            return reply("404 Not Found", "text/plain", "no");
        });
    }

    // Opens the page in Chromium, waits until it has asked for the thumbnails, shows the panes.
    void open(const QByteArray& path, const QString& title, int thumbnails)
    {
        ASSERT_NO_FATAL_FAILURE(openInChromium(server->url(QString::fromLatin1(path)), title));
        ASSERT_TRUE(waitUntil([&] { return thumbnailsAsked >= thumbnails; }, 20000))
            << "Chromium did not show the thumbnails";
        ASSERT_NO_FATAL_FAILURE(showPanes());
    }

    // Selects every cell and views them: the natural widths of the view page's pictures.
    QString viewAll(const QString& title)
    {
        thumbs->selectAll();
        EXPECT_TRUE(download->startView(thumbs->thumbnailsDocument(),
                                        QStringLiteral("<HEAD><title>%1</title></HEAD>").arg(title)));
        return naturalWidths(*download);
    }

    std::map<QByteArray, QByteArray> pages;
    std::atomic<int> thumbnailsAsked {0};
};

} // namespace

// vanilla-lazyload draws each card's thumbnail as the background of a div inside the link, from its
// data-bg, once the card is in view.
TEST_F(RealGalleries, ALazyLoadersBackgroundCards)
{
    QByteArray cards;
    for (const char* n : {"1", "2", "3", "4"})
        cards += QByteArray("<a href=\"/big/lazy") + n + ".jpg\"><div class=\"lazy card\" data-bg=\"/thumbs/lazy" + n
                 + ".png\"></div></a>\n";
    pages["/lazy.html"] = htmlPage("Lazy cards",
                                   "<style>a{display:inline-block;margin:4px}.card{width:160px;height:120px;"
                                   "background-size:cover}</style>",
                                   cards + "<script src=\"/node_modules/vanilla-lazyload/dist/lazyload.min.js\"></script>"
                                           "<script>var lazyLoadInstance = new LazyLoad({});</script>");
    serveGalleries();
    ASSERT_NO_FATAL_FAILURE(open("/lazy.html", QStringLiteral("Lazy cards"), 4));
    EXPECT_EQ(grab(4), QStringList(4, QStringLiteral("10 kB, 120 x 90")));
    EXPECT_EQ(naturalWidthsOf(thumbs->view()), QStringLiteral("160,160,160,160")) << "the thumbnail page";
    EXPECT_EQ(viewAll(QStringLiteral("Lazy cards")), QStringLiteral("120,120,120,120"));
}

// Viewer.js shows bare pictures and opens the full one named by data-original; with the option off
// nothing of such a page is a thumbnail.
TEST_F(RealGalleries, AViewersPicturesWithoutALink)
{
    QByteArray items;
    for (const char* n : {"1", "2", "3"})
        items += QByteArray("<li><img src=\"/thumbs/v") + n + ".png\" data-original=\"/big/v" + n + ".jpg\" alt=\"Picture "
                 + n + "\"></li>\n";
    pages["/viewer.html"] =
        htmlPage("Viewer", "<link href=\"/node_modules/viewerjs/dist/viewer.css\" rel=\"stylesheet\">",
                 "<div><ul id=\"images\">" + items + "</ul></div>"
                 "<script src=\"/node_modules/viewerjs/dist/viewer.js\"></script>"
                 "<script>const gallery = new Viewer(document.getElementById('images'), {url: 'data-original'});</script>");
    serveGalleries();
    ASSERT_NO_FATAL_FAILURE(open("/viewer.html", QStringLiteral("Viewer"), 3));
    EXPECT_EQ(grab(3), QStringList(3, QStringLiteral("10 kB, 120 x 90")));
    EXPECT_EQ(viewAll(QStringLiteral("Viewer")), QStringLiteral("120,120,120"));

    SnapshotValues off = settings.snapshot();
    off.takeUnlinkedPictures = false;
    settings.takeSnapshot(off);
    thumbs->stop();
    thumbs->grabDocument(window->document(), false, window.get());
    EXPECT_EQ(messages.informations.size(), 1);
    EXPECT_EQ(thumbs->statusText(), QStringLiteral("No Thumbnails found"));
}

// A static generator's album index: each album a link around a div whose style draws the cover; the
// view loads the album pages and takes their pictures.
TEST_F(RealGalleries, AGeneratorsAlbumIndexOfBackgroundCards)
{
    QByteArray albums;
    for (const char* album : {"harbour", "dunes", "forest"})
        albums += QByteArray("<a class=\"album\" href=\"albums/") + album + "/index.html\"><div class=\"cover\" "
                  "style=\"background-image: url('albums/" + album + "/cover.png')\"></div><span class=\"name\">" + album
                  + "</span></a>\n";
    pages["/index.html"] = htmlPage("Albums",
                                    "<style>.album{display:inline-block;margin:6px;text-decoration:none}"
                                    ".cover{width:200px;height:150px;background-size:cover;background-position:center}"
                                    "</style>",
                                    "<h1>Albums</h1><nav class=\"albums\">" + albums + "</nav>");
    serveGalleries();
    ASSERT_NO_FATAL_FAILURE(open("/index.html", QStringLiteral("Albums"), 3));
    EXPECT_EQ(grab(0), QStringList()) << "album pages are not sized";
    EXPECT_EQ(naturalWidthsOf(thumbs->view()), QStringLiteral("200,200,200")) << "the covers";
    EXPECT_EQ(viewAll(QStringLiteral("Albums")), QStringLiteral("120,120,120,120,120,120"));
}

// An encyclopedia's thumbnails link to File: pages named like pictures: the probe says "page", and
// the view loads those pages and shows their pictures; a link clicked before anything is known about
// it is asked about first.
TEST_F(RealGalleries, FileLinksNamedLikePicturesThatArePages)
{
    QByteArray figures;
    for (const char* n : {"1", "2", "3"})
        figures += QByteArray("<figure><a href=\"/wiki/File:Harbour_") + n + ".jpg\" class=\"mw-file-description\">"
                   "<img src=\"/thumbs/w" + n + ".png\" width=\"160\" height=\"120\"></a><figcaption>Harbour " + n
                   + "</figcaption></figure>\n";
    pages["/wiki/Harbour"] = htmlPage("Harbour - Encyclopedia", {}, "<h1>Harbour</h1>" + figures);
    serveGalleries();
    ASSERT_NO_FATAL_FAILURE(open("/wiki/Harbour", QStringLiteral("Harbour - Encyclopedia"), 3));
    EXPECT_EQ(grab(3), QStringList(3, QStringLiteral("page")));
    EXPECT_EQ(viewAll(QStringLiteral("Harbour")), QStringLiteral("120,120,120"));

    answers.clear();
    download->viewHtmlBox()->setChecked(false); // the view page, not the page alone
    const QString link = server->url(QStringLiteral("/wiki/File:Harbour_2.jpg"));
    download->viewLink(link);
    EXPECT_EQ(naturalWidths(*download), QStringLiteral("120"));
    EXPECT_EQ(answers.kind(link), LinkAnswers::Kind::Page);
}
