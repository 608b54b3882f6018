#include "harvest/Harvest.h"

#include "harvest/LinkHelpers.h"
#include "harvest/ProgressSink.h"
#include "harvest/ThumbnailRules.h"
#include "settings/Settings.h"

#include <vector>

namespace pxt {

namespace {
const QString kImg = QStringLiteral("IMG");

// Text of nothing but HTML whitespace: the line breaks and indents between tags. The document model
// the thumbnail rule was made for had no such nodes, so the rule passes over them.
bool isBlankText(const Node* node)
{
    if (node->type() != NodeType::Text)
        return false;
    for (const QChar c : node->data()) {
        if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r' && c != u'\f')
            return false;
    }
    return true;
}

Node* skipBlankText(Node* node)
{
    while (node && isBlankText(node))
        node = node->nextSibling();
    return node;
}

} // namespace

Element* Harvester::findThumbImage(Node* node)
{
    while (Node* child = skipBlankText(node->firstChild()))
        node = child;
    if (node->nodeName() == kImg)
        return node->asElement();
    while ((node = skipBlankText(node->nextSibling()))) {
        if (node->nodeName() == kImg)
            return node->asElement();
    }
    return nullptr;
}

void Harvester::harvestDocument(Document& doc, HarvestResult& result)
{
    // The hourglass while the document is harvested; the arrow again as the last act, however it ends.
    struct BusyCursor {
        ProgressSink& sink;
        explicit BusyCursor(ProgressSink& s) : sink(s) { sink.setBusyCursor(true); }
        ~BusyCursor() { sink.setBusyCursor(false); }
    } busyCursor(m_progress);
    const std::vector<Element*> links = doc.links();
    const int n = int(links.size());
    const int index = int(result.documents.size());
    result.documents.push_back({doc.url(), {}, false});
    const ReferrerPolicy pagePolicy = documentReferrerPolicy(doc);
    m_progress.setUp(QStringLiteral("Grabbing Thumbnails"), QStringLiteral("Searching..."), 0, n - 1, 0, true);

    int k = 0;
    FilterCounts rejected;
    const auto addCell = [&](const QString& address, const QString& name, const QString& image,
                             ReferrerPolicy linkPolicy, ReferrerPolicy imagePolicy) {
        ++k;
        m_progress.setText(QStringLiteral("Searching...Found %1").arg(k));
        result.cells.push_back({address, image, name, index, linkPolicy, imagePolicy});
    };
    bool cancelled = false;
    for (int i = 0; i < n; ++i) {
        Element* link = links[size_t(i)];
        QString image;
        ReferrerPolicy imagePolicy = kDefaultReferrerPolicy;
        if (link->innerHTMLContains(QLatin1StringView("IMG"))) {
            if (const Element* img = findThumbImage(link)) {
                const int w = img->width();
                const int h = img->height();
                if (w > m_settings.minThumbWidth() && h > m_settings.minThumbHeight()) {
                    if (isBanner(w, h, m_settings.bannerRatio()))
                        ++rejected.ratio;
                    else {
                        image = img->href();
                        imagePolicy = imageReferrerPolicy(*img, pagePolicy);
                    }
                } else {
                    ++rejected.size;
                }
            }
        }

        const QString address = link->href();
        QString name;
        if (applyLinkFilter(address, m_settings).isEmpty())
            ++rejected.link;
        else
            name = linkFileName(address);

        if (!name.isEmpty() && !image.isEmpty())
            addCell(address, name, image, linkReferrerPolicy(*link, pagePolicy), imagePolicy);

        m_progress.stepTo(i);
        cancelled = m_progress.isCancelled() || m_aborted;
        if (cancelled)
            break;
    }

    // Thumbnails shown other than in a link's IMG pass the same filters, after the links' own.
    for (const ThumbnailRule& rule : thumbnailRules()) {
        if (cancelled)
            break;
        for (const FoundThumbnail& found : rule.find(doc, m_settings)) {
            if (found.image.isEmpty())
                continue;
            if (found.width <= m_settings.minThumbWidth() || found.height <= m_settings.minThumbHeight()) {
                ++rejected.size;
                continue;
            }
            if (isBanner(found.width, found.height, m_settings.bannerRatio())) {
                ++rejected.ratio;
                continue;
            }
            if (applyLinkFilter(found.link, m_settings).isEmpty()) {
                ++rejected.link;
                continue;
            }
            const QString name = linkFileName(found.link);
            if (name.isEmpty())
                continue;
            const ReferrerPolicy linkPolicy = found.linkElement ? linkReferrerPolicy(*found.linkElement, pagePolicy)
                                                                : effectiveReferrerPolicy(ReferrerPolicy::Unset, pagePolicy);
            // (An element drawn with a background names no policy of its own: the page's applies.)
            addCell(found.link, name, found.image, linkPolicy, imageReferrerPolicy(*found.picture, pagePolicy));
            cancelled = m_progress.isCancelled() || m_aborted;
            if (cancelled)
                break;
        }
    }
    HarvestedDocument& done = result.documents[size_t(index)];
    done.rejected = rejected;
    done.finished = true;
    m_progress.finish();
}

HarvestResult Harvester::harvest(const std::shared_ptr<Document>& doc)
{
    HarvestResult result;
    harvestDocument(*doc, result);

    // Depth-first over the frames with a stack of its own, each frame guarded on its own.
    struct Level {
        std::shared_ptr<Document> doc;
        int next;
        int count;
    };
    std::vector<Level> stack;
    stack.push_back({doc, 0, doc->framesLength()});
    while (!stack.empty() && !m_aborted) {
        Level& level = stack.back();
        if (level.next >= level.count) {
            stack.pop_back();
            continue;
        }
        const int i = level.next++;
        try {
            std::shared_ptr<Document> child = level.doc->frame(i);
            if (!child)
                continue;
            harvestDocument(*child, result);
            const int frames = child->framesLength();
            stack.push_back({std::move(child), 0, frames});
        } catch (const std::exception&) {
            // A frame that cannot be read or harvested is left out without a message.
        }
    }
    result.aborted = m_aborted;
    return result;
}

} // namespace pxt
