#pragma once

#include "core/ReferrerPolicy.h"

#include <QString>

#include <vector>

namespace pxt {

// What the filters of a harvest turned away.
struct FilterCounts {
    int link = 0;  // links the link filter holds back
    int size = 0;  // thumbnails at or under the smallest size
    int ratio = 0; // thumbnails shaped like banners
    bool any() const { return link > 0 || size > 0 || ratio > 0; }
    FilterCounts& operator+=(const FilterCounts& other)
    {
        link += other.link;
        size += other.size;
        ratio += other.ratio;
        return *this;
    }
};

// A document harvested: its address and what its filters turned away. An unfinished one failed on
// the way: its cells so far stand, its counts do not.
struct HarvestedDocument {
    QString url;
    FilterCounts rejected;
    bool finished = false;
};

// A thumbnail found: the link it sits in, its picture, the link's file name, the document it was
// found in (an index into HarvestResult::documents), and the referrer policies that document gives
// the requests for the link and for the picture.
struct ThumbCell {
    QString link;
    QString thumbnail;
    QString name;
    int document = 0;
    ReferrerPolicy linkPolicy = kDefaultReferrerPolicy;
    ReferrerPolicy thumbnailPolicy = kDefaultReferrerPolicy;
};

// A harvest of a document and its frames: the documents in the order they were harvested (the page,
// then its frames depth-first) and the cells in page order.
struct HarvestResult {
    std::vector<HarvestedDocument> documents;
    std::vector<ThumbCell> cells;
    bool aborted = false; // ended before its end: nothing of it is to be shown

    const HarvestedDocument& documentOf(const ThumbCell& cell) const { return documents[size_t(cell.document)]; }
    // The cells of the finished documents: what the grab counts as found.
    int countedCells() const
    {
        int n = 0;
        for (const ThumbCell& cell : cells)
            n += documents[size_t(cell.document)].finished ? 1 : 0;
        return n;
    }
    // What the filters of the finished documents turned away.
    FilterCounts rejected() const
    {
        FilterCounts sum;
        for (const HarvestedDocument& doc : documents)
            if (doc.finished)
                sum += doc.rejected;
        return sum;
    }
};

} // namespace pxt
