// The harvest of a generated gallery of 20,000 links (10,000 thumbnails, 3 frames) from the document
// model into the page buffer, and the building of that gallery's models from their HTML text.
#include "dom/Document.h"
#include "testing/HtmlDocument.h"
#include "harvest/Harvest.h"
#include "pages/ThumbPage.h"
#include "testing/SilentProgress.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>

namespace {

// One document's share: thumbnails and text links, alternating.
QString galleryPart(int part, int thumbs)
{
    QString html = QStringLiteral("<html><head><title>Gallery part %1</title></head><body>").arg(part);
    for (int i = 0; i < thumbs; ++i) {
        html += QStringLiteral("<a href=\"http://gallery.test/full/p%1-%2.jpg\"><img src=\"t/p%1-%2.jpg\" width=%3 height=90></a>\n")
                    .arg(part)
                    .arg(i)
                    .arg(i % 10 == 0 ? 40 : 120);
        html += QStringLiteral("<a href=\"http://gallery.test/page%1-%2.html\">Page %2</a>\n").arg(part).arg(i);
    }
    return html + QStringLiteral("</body></html>");
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr int kParts = 4; // the page and its 3 frames
    constexpr int kThumbsPerPart = 2500;
    QStringList texts;
    for (int p = 0; p < kParts; ++p)
        texts << galleryPart(p, kThumbsPerPart);

    QElapsedTimer build;
    build.start();
    auto top = pxt::htmlDocument(texts[0], QStringLiteral("http://gallery.test/"));
    for (int p = 1; p < kParts; ++p)
        top->addFrame(pxt::htmlDocument(texts[p], QStringLiteral("http://gallery.test/frame%1.html").arg(p)));
    const double buildMs = build.nsecsElapsed() / 1e6;

    pxt::Settings settings;
    pxt::SilentProgress progress;
    double best = 1e9;
    int cells = 0;
    for (int run = 0; run < 5; ++run) {
        pxt::Harvester harvester(settings, progress);
        QElapsedTimer t;
        t.start();
        const pxt::HarvestResult result = harvester.harvest(top);
        const pxt::PageLines lines = pxt::ThumbPage::harvestLines(result, settings.thumbColumnCount());
        best = std::min(best, t.nsecsElapsed() / 1e6);
        cells = result.countedCells();
    }
    const int links = kParts * kThumbsPerPart * 2;
    std::printf("harvest: %d links, %d cells in %.1f ms (target < 100 ms): %.0f links/s\n", links, cells, best,
                links / (best / 1000.0));
    std::printf("document model from HTML text: %.1f ms (target < 500 ms)\n", buildMs);
    return 0;
}
