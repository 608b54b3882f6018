#pragma once

#include "dom/Document.h"
#include "pages/ThumbCells.h"

#include <vector>

namespace pxt {

class ProgressSink;
class Settings;

// Finds the thumbnails of a document and its frames: each link that holds a picture passing the size,
// banner and link filters becomes a cell; what the filters turn away is counted per document.
class Harvester {
public:
    Harvester(const Settings& settings, ProgressSink& progress) : m_settings(settings), m_progress(progress) {}

    // Harvests the document, then its frames depth-first. A failure in the document itself propagates;
    // a failure in a frame is swallowed: that frame stays unfinished with its cells so far, and its
    // frames are skipped. The result is marked aborted when abort() ended it.
    HarvestResult harvest(const std::shared_ptr<Document>& doc);

    // The link's image: follow the first children down to the first leaf, then test that leaf and its
    // following siblings by name. Whitespace-only text nodes are passed over as if absent.
    static Element* findThumbImage(Node* link);

    // Ends the whole walk at the next link: unlike the progress window's cancel, which ends only the
    // current document's table, no further document or frame is harvested.
    void abort() { m_aborted = true; }
    bool aborted() const { return m_aborted; }

private:
    // One document's links into the result, as its document number index.
    void harvestDocument(Document& doc, HarvestResult& result);

    const Settings& m_settings;
    ProgressSink& m_progress;
    bool m_aborted = false;
};

} // namespace pxt
