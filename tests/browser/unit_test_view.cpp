// The in-memory browser view of the tests: its events, their order, cancel and Stop, and the pages it
// shows.

#include "core/Error.h"
#include "testing/RecordingDialogs.h"
#include "testing/TestBrowserView.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <QWidget>

using namespace pxt;
using namespace pxt::test;

namespace {

// Records the view's events, with the busy state each one saw.
struct Recorder {
    explicit Recorder(TestBrowserView& view) : view(view)
    {
        QObject::connect(&view, &BrowserView::navigationRequested, [this](const QString& address, bool* cancel) {
            events << "before " + address;
            if (cancelAll)
                *cancel = true;
        });
        QObject::connect(&view, &BrowserView::loadProgress, [this](int p, int max) {
            events << QStringLiteral("progress %1/%2 busy=%3").arg(p).arg(max).arg(this->view.isBusy());
        });
        QObject::connect(&view, &BrowserView::documentComplete, [this] {
            events << QStringLiteral("complete busy=%1").arg(this->view.isBusy());
        });
    }
    int completes() const { return int(events.filter("complete").size()); }
    TestBrowserView& view;
    QStringList events;
    bool cancelAll = false;
};

void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

QString fileUrl(const QString& path) { return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded); }

} // namespace

TEST(TestBrowserView, LoadsAFileWithEventsInOrder)
{
    RecordingDialogs dialogs;
    TestBrowserView view(dialogs);
    Recorder r(view);
    const QString path = fixturePath("document_gallery.html");
    view.navigate(path);
    EXPECT_EQ(r.events, QStringList{"before " + path}); // the load itself is queued
    EXPECT_TRUE(view.isBusy());
    ASSERT_TRUE(waitUntil([&] { return r.completes() == 1; }));
    EXPECT_EQ(r.events, (QStringList{"before " + path, "progress 50/100 busy=1", "complete busy=0"}));
    EXPECT_FALSE(view.isBusy());
    EXPECT_EQ(view.locationUrl(), fileUrl(path));

    const auto doc = view.document();
    EXPECT_EQ(doc->title(), "Sunset Gallery & More");
    EXPECT_EQ(doc->url(), fileUrl(path));
    EXPECT_EQ(doc->links()[0]->href(), fileUrl(fixturePath("big/1.jpg")));
    ASSERT_EQ(doc->framesLength(), 2);
    EXPECT_EQ(doc->frame(0)->title(), "Frame One");
    EXPECT_EQ(doc->frame(0)->frame(0)->title(), "Frame Two");
    EXPECT_THROW(doc->frame(1), Error); // a data: address is no source of the test view

    // A file:// address shows the same page.
    view.navigate(fileUrl(path));
    ASSERT_TRUE(waitUntil([&] { return r.completes() == 2; }));
    EXPECT_EQ(view.document()->title(), "Sunset Gallery & More");
}

TEST(TestBrowserView, ACancelledNavigationCompletesNothing)
{
    RecordingDialogs dialogs;
    TestBrowserView view(dialogs);
    Recorder r(view);
    view.navigate(fixturePath("document_frame.html"));
    ASSERT_TRUE(waitUntil([&] { return r.completes() == 1; }));
    const auto shown = view.document();

    r.cancelAll = true;
    view.navigate("http://x.test/elsewhere.html");
    EXPECT_FALSE(view.isBusy());
    settle();
    EXPECT_EQ(r.completes(), 1);
    EXPECT_EQ(view.document(), shown);
    EXPECT_EQ(view.locationUrl(), fileUrl(fixturePath("document_frame.html")));
}

TEST(TestBrowserView, StopAndANewNavigationDropThePendingLoad)
{
    RecordingDialogs dialogs;
    TestBrowserView view(dialogs);
    Recorder r(view);
    view.navigate(fixturePath("document_frame.html"));
    view.stop();
    EXPECT_FALSE(view.isBusy());
    settle();
    EXPECT_EQ(r.completes(), 0);

    view.navigate(fixturePath("document_frame.html"));
    view.navigate(fixturePath("document_frame2.html"));
    ASSERT_TRUE(waitUntil([&] { return r.completes() == 1; }));
    settle();
    EXPECT_EQ(r.completes(), 1);
    EXPECT_EQ(view.document()->title(), "Frame Two");

    // Stop from the progress event ends that load too.
    QObject::connect(&view, &BrowserView::loadProgress, &view, [&] { view.stop(); });
    view.navigate(fixturePath("document_frame.html"));
    settle();
    EXPECT_EQ(r.completes(), 1);
}

TEST(TestBrowserView, TheDocumentIsTheLivePageUntilTheNextLoad)
{
    RecordingDialogs dialogs;
    TestBrowserView view(dialogs);
    Recorder r(view);
    EXPECT_EQ(view.document()->url(), "about:blank"); // nothing loaded yet
    view.navigate(fixturePath("document_gallery.html"));
    ASSERT_TRUE(waitUntil([&] { return r.completes() == 1; }));
    const auto doc = view.document();
    size_t box = 0;
    while (doc->all()[box]->tagName() != "INPUT")
        ++box;
    ASSERT_TRUE(doc->all()[box]->checked());
    doc->all()[box]->setStatus(false);
    EXPECT_EQ(view.document(), doc);
    EXPECT_FALSE(view.document()->all()[box]->checked());

    // Reload is a navigation of its own and reads the page anew.
    view.refresh();
    ASSERT_TRUE(waitUntil([&] { return r.completes() == 2; }));
    EXPECT_EQ(r.events.filter("before").size(), 2);
    EXPECT_NE(view.document(), doc);
    EXPECT_TRUE(view.document()->all()[box]->checked());

    view.saveAs();
    view.saveAs();
    EXPECT_EQ(view.saveAsCount(), 2);
}

TEST(TestBrowserView, ShowsRegisteredPagesErrorPagesAndDecodesFiles)
{
    TestBrowserView::registerPage("http://x.test/dir/page.html",
                                  "<title>Registered</title><a href=big.jpg>x</a><iframe src=frame.html></iframe>");
    TestBrowserView::registerPage("http://x.test/dir/frame.html", "<title>Registered frame</title>");
    QTemporaryDir dir;
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return dir.filePath(name);
    };
    const QString latin1 = write("latin1.html", "<META content=\"text/html; charset=iso-8859-1\" http-equiv=Content-Type>"
                                                "<title>caf\xe9</title>");
    const QString utf8 = write("utf8.html", "<title>caf\xc3\xa9 \xe6\x97\xa5</title>");
    const QString undeclared = write("plain.html", "<title>caf\xe9</title>");

    RecordingDialogs dialogs;
    TestBrowserView view(dialogs);
    Recorder r(view);
    struct Case {
        QString address;
        QString title;
        QString location;
    };
    const std::vector<Case> cases = {
        {"http://x.test/dir/page.html", "Registered", "http://x.test/dir/page.html"},
        {latin1, "caf\u00e9", fileUrl(latin1)},
        {utf8, "caf\u00e9 \u65e5", fileUrl(utf8)},
        {undeclared, "caf\u00e9", fileUrl(undeclared)},
        {dir.filePath("missing.html"), "Page not found", fileUrl(dir.filePath("missing.html"))},
        {"http://x.test/unknown.html", "Page not found", "http://x.test/unknown.html"},
        {"about:blank", "", "about:blank"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address.toStdString());
        const int before = r.completes();
        view.navigate(c.address);
        ASSERT_TRUE(waitUntil([&] { return r.completes() == before + 1; }));
        EXPECT_EQ(view.document()->title(), c.title);
        EXPECT_EQ(view.locationUrl(), c.location);
    }
    view.navigate("http://x.test/dir/page.html");
    ASSERT_TRUE(waitUntil([&] { return !view.isBusy(); }));
    EXPECT_EQ(view.document()->links()[0]->href(), "http://x.test/dir/big.jpg");
    EXPECT_EQ(view.document()->frame(0)->title(), "Registered frame");
    TestBrowserView::clearPages();
}

TEST(TestBrowserView, TheFactoryMakesViewsInsideTheirPane)
{
    QWidget pane;
    RecordingDialogs dialogs;
    TestBrowserViewFactory factory(dialogs);
    BrowserView* view = factory.create(&pane);
    ASSERT_EQ(factory.views.size(), 1);
    EXPECT_EQ(factory.views[0], view);
    EXPECT_EQ(view->widget()->parentWidget(), &pane);

    // A handler may navigate again from documentComplete.
    int completes = 0;
    QObject::connect(view, &BrowserView::documentComplete, view, [&] {
        if (++completes == 1)
            view->navigate(fixturePath("document_frame2.html"));
    });
    view->navigate(fixturePath("document_frame.html"));
    ASSERT_TRUE(waitUntil([&] { return completes == 2; }));
    EXPECT_EQ(view->document()->title(), "Frame Two");
    delete view;
    EXPECT_TRUE(factory.views[0].isNull());
}
