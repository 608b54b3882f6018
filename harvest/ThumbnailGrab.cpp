#include "harvest/ThumbnailGrab.h"

#include "browser/BrowserWindows.h"
#include "core/Error.h"
#include "core/ProgramFiles.h"
#include "core/WebAddress.h"
#include "dom/Document.h"
#include "harvest/Harvest.h"
#include "harvest/ProgressSink.h"
#include "http/BrowserSession.h"
#include "pages/ThumbPage.h"
#include "pages/ViewPage.h"
#include "settings/Settings.h"

#include <QFile>
#include <QStringList>
#include <QUrl>

namespace pxt {

ThumbnailGrab::ThumbnailGrab(const Settings& settings, ProgressSink& progress)
    : m_settings(settings), m_progress(progress)
{
}

ThumbnailGrab::~ThumbnailGrab() = default;

std::shared_ptr<Document> ThumbnailGrab::readWindow(BrowserWindow& window, ProgressSink& progress)
{
    progress.setUp(QStringLiteral("Grabbing Thumbnails"), QStringLiteral("Reading the page..."), 0, 1, 0, false);
    struct Closer {
        ProgressSink& p;
        ~Closer() { p.finish(); }
    } closer{progress};
    return window.document();
}

QString ThumbnailGrab::viewHead(const Document& doc, const QString& previous)
{
    // Only the title's text: a page script can put markup (a comment, say) into the element.
    return doc.title().isEmpty() ? previous : viewPageHead(doc.title());
}

void ThumbnailGrab::abort()
{
    if (m_running)
        m_running->abort();
}

ThumbnailGrab::Outcome ThumbnailGrab::grab(const std::shared_ptr<Document>& doc, bool addToExisting,
                                           BrowserWindow* source)
{
    const QString thumbs = ProgramFiles::thumbsPage();
    QFile::remove(thumbs);

    Harvester harvester(m_settings, m_progress);
    struct Running {
        Harvester*& slot;
        Running(Harvester*& s, Harvester* h) : slot(s) { slot = h; }
        ~Running() { slot = nullptr; }
    } running(m_running, &harvester);
    const HarvestResult result = harvester.harvest(doc);
    if (result.aborted)
        return {Outcome::Aborted, result.rejected()};

    if (result.countedCells() == 0) {
        // Nothing found: the page stays as it was before this grab.
        if (!m_pageLines.isEmpty())
            writeProgramPage(thumbs, m_pageLines);
        return {Outcome::NothingFound, result.rejected()};
    }
    if (source && m_session && m_settings.useBrowserLogin())
        borrowSession(result, *source);
    m_pageLines = ThumbPage::grabbedPage(addToExisting ? m_pageLines : PageLines(), doc->title(), doc->url(), result,
                                         m_settings.thumbColumnCount(), m_settings.thumbnailSize());
    writeProgramPage(thumbs, m_pageLines);
    return {Outcome::Written, result.rejected()};
}

namespace {

// The folder of an address: a cookie with a path is asked for with its folder, not only its origin.
void addFolder(QStringList& folders, const QString& address)
{
    const QUrl url(address);
    if (!isWebAddress(url))
        return;
    QString path = url.path(QUrl::FullyEncoded);
    path.truncate(path.lastIndexOf(QLatin1Char('/')) + 1);
    QUrl folder = url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo);
    folder.setPath(path.isEmpty() ? QStringLiteral("/") : path, QUrl::TolerantMode);
    const QString text = folder.toString(QUrl::FullyEncoded);
    if (!folders.contains(text))
        folders.append(text);
}

} // namespace

// The Referers and the cookie folders come from what the harvest found: the documents it read (the
// page and its frames), and each cell's link and thumbnail.
void ThumbnailGrab::borrowSession(const HarvestResult& result, BrowserWindow& source)
{
    for (const ThumbCell& cell : result.cells) {
        const QString& page = result.documentOf(cell).url;
        m_session->addReferer(cell.link, page, cell.linkPolicy);
        m_session->addReferer(cell.thumbnail, page, cell.thumbnailPolicy);
    }
    QStringList folders;
    for (const HarvestedDocument& doc : result.documents)
        addFolder(folders, doc.url);
    for (const ThumbCell& cell : result.cells) {
        addFolder(folders, cell.link);
        addFolder(folders, cell.thumbnail);
    }
    QList<QUrl> urls;
    for (const QString& folder : std::as_const(folders))
        urls.append(QUrl(folder));
    try {
        m_session->addCookies(source.cookies(urls));
    } catch (const Error&) {
        // Without the browser's cookies the page still shows what needs no login.
    }
}

} // namespace pxt
