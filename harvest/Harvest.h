#pragma once

#include "dom/Document.h"
#include "http/ReferrerPolicy.h"
#include "pages/PageText.h"

#include <vector>

namespace pxt {

class ProgressSink;
class Settings;

// Turns a document and its frames into the blocks of the thumbnail page: one table per document,
// its cells and, when something was rejected, a summary line.
class Harvester {
public:
    Harvester(PageLines& buffer, const Settings& settings, ProgressSink& progress)
        : m_buffer(buffer), m_settings(settings), m_progress(progress) {}

    // Harvests the document, then its frames depth-first, adding each document's cell count to total.
    // A failure in the document itself propagates; a failure in a frame is swallowed, that frame's cells
    // stay in the buffer, its count is dropped and its frames are skipped.
    void WalkDocument(const std::shared_ptr<Document>& doc, int& total);

    // One document's links into the buffer; returns the number of cells written.
    int HarvestDocument(Document& doc);

    // The link's image: follow the first children down to the first leaf, then test that leaf and its
    // following siblings by name. Whitespace-only text nodes are passed over as if absent.
    static Element* FindThumbImage(Node* link);

    // A cell written: its link and thumbnail, the address of the document they were found on, and
    // the referrer policies that page gives the requests for each.
    struct Cell {
        QString page;
        QString link;
        QString thumb;
        ReferrerPolicy linkPolicy = kDefaultReferrerPolicy;
        ReferrerPolicy thumbPolicy = kDefaultReferrerPolicy;
    };
    // Every cell written so far, in page order.
    const std::vector<Cell>& cells() const { return m_cells; }

    // What the filters rejected, over every document harvested so far.
    struct Rejections {
        int link = 0;
        int size = 0;
        int ratio = 0;
    };
    const Rejections& rejections() const { return m_rejections; }

    // Ends the whole walk at the next link: unlike the progress window's cancel, which ends only the
    // current document's table, no further document or frame is harvested.
    void Abort() { m_aborted = true; }
    bool aborted() const { return m_aborted; }

private:
    PageLines& m_buffer;
    const Settings& m_settings;
    ProgressSink& m_progress;
    Rejections m_rejections;
    std::vector<Cell> m_cells;
    bool m_aborted = false;
};

} // namespace pxt
