#pragma once

#include "pages/PageText.h"
#include "pages/ThumbCells.h"

#include <QString>

#include <memory>

namespace pxt {

class BrowserSession;
class BrowserWindow;
class Document;
class Harvester;
class ProgressSink;
class Settings;

// The road of a grab, without any window: a browser window's document becomes the thumbnail page's
// lines and its file (thumbs.html), and the session borrows what its cells need (each cell's Referer,
// the browser's cookies of the documents, links and thumbnails). The pane shows what comes of it.
class ThumbnailGrab {
public:
    ThumbnailGrab(const Settings& settings, ProgressSink& progress);
    ~ThumbnailGrab();
    ThumbnailGrab(const ThumbnailGrab&) = delete;
    ThumbnailGrab& operator=(const ThumbnailGrab&) = delete;

    // The session that borrows the cookies and Referers of a grab; null: none.
    void setSession(BrowserSession* session) { m_session = session; }

    // The window's document, read under the progress window (the read waits for the page's lazily
    // loaded pictures, a few seconds at most). Throws Error.
    static std::shared_ptr<Document> readWindow(BrowserWindow& window, ProgressSink& progress);
    // The head of later view pages from a grabbed document: its title, else the head so far.
    static QString viewHead(const Document& doc, const QString& previous);

    struct Outcome {
        enum Kind {
            Written,      // cells were found: the page lines are written to thumbs.html
            NothingFound, // the page lines are as before (and written back when there are any)
            Aborted,      // abort() ended it: nothing changed
        } kind = NothingFound;
        FilterCounts rejected; // what the filters turned away
    };
    // Harvests the document into the thumbnail page: a new page, or added to the page so far. The
    // session borrows from source (the window the document came from; null: nothing is borrowed)
    // only when the "Use the browser's login" option is on. Throws Error when the document cannot be
    // harvested or the page cannot be written.
    Outcome grab(const std::shared_ptr<Document>& doc, bool addToExisting, BrowserWindow* source);
    // Ends a grab under way at its next link.
    void abort();

    // The thumbnail page's lines as the last grab left them; empty when no grab wrote a page.
    const PageLines& pageLines() const { return m_pageLines; }
    // Forgets the page (an opened thumbnail file replaces it).
    void clearPage() { m_pageLines.clear(); }

private:
    void borrowSession(const HarvestResult& result, BrowserWindow& source);

    const Settings& m_settings;
    ProgressSink& m_progress;
    BrowserSession* m_session = nullptr;
    PageLines m_pageLines;
    Harvester* m_running = nullptr; // the harvest under way, if any
};

} // namespace pxt
