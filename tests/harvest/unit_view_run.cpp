// A view run's collection without any window: picture links as they are, a page link's pictures from
// its document, the view page in the first free file.
#include "dom/Document.h"
#include "testing/HtmlDocument.h"
#include "harvest/ViewRun.h"
#include "http/BrowserSession.h"
#include "settings/Settings.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace pxt;
using namespace pxt::test;

TEST(ViewRun, PictureLinksAsTheyArePagesByTheirPictures)
{
    TempProgramFolder folder;
    Settings settings;
    BrowserSession session;
    ViewRun run(settings);
    run.setSession(&session);
    const auto selection = htmlDocument(
        QStringLiteral("<input type=checkbox value=\"http://g.test/a.jpg\" checked><input type=checkbox value=\"http://g.test/x.jpg\">"
                       "<input type=checkbox value=\"http://g.test/p.html\" checked><input type=checkbox value=\"http://g.test/b.gif\" checked>"
                       "<input type=checkbox value=\"http://g.test/gone.html\" checked>"),
        QStringLiteral("file:///thumbs.html"));
    run.start(ViewRun::selectedLinks(*selection), false);
    EXPECT_EQ(run.links(), QStringList({"http://g.test/a.jpg", "http://g.test/p.html", "http://g.test/b.gif", "http://g.test/gone.html"}));

    EXPECT_EQ(run.nextPage(), "http://g.test/p.html");
    EXPECT_TRUE(run.lastWasPage());
    const auto page = htmlDocument(
        QStringLiteral("<meta name=referrer content=no-referrer><img src=\"big.jpg\" width=400 height=300>"
                       "<img src=\"banner.gif\" width=468 height=60>"),
        QStringLiteral("http://g.test/p.html"));
    run.takePage(page.get());
    EXPECT_EQ(run.nextPage(), "http://g.test/gone.html");
    run.takePage(nullptr); // a page that could not be read
    EXPECT_EQ(run.nextPage(), QString());
    EXPECT_TRUE(run.atEnd());
    EXPECT_EQ(run.pictures(), QStringList({"http://g.test/a.jpg", "http://g.test/big.jpg", "http://g.test/b.gif"}));
    // Saving takes each picture with the page it was found on; a picture link's page is the session's.
    const QList<PictureToSave> toSave = run.picturesToSave();
    ASSERT_EQ(toSave.size(), 3);
    EXPECT_EQ(toSave[1].address, QUrl(QStringLiteral("http://g.test/big.jpg")));
    EXPECT_EQ(toSave[1].page, QUrl(QStringLiteral("http://g.test/p.html")));
    EXPECT_TRUE(toSave[0].page.isEmpty());
    // The page's picture is known to the session, under the page's policy.
    EXPECT_FALSE(session.refererSource(QUrl(QStringLiteral("http://g.test/big.jpg"))).isEmpty());
    EXPECT_EQ(session.refererFor(QUrl(QStringLiteral("http://g.test/big.jpg"))), "");

    // The view page goes to the first file not yet there.
    folder.write(QStringLiteral("download1.html"), "earlier");
    EXPECT_EQ(run.writeViewPage(QStringLiteral("<HEAD></HEAD>")), folder.file(QStringLiteral("download2.html")));
    EXPECT_TRUE(folder.read(QStringLiteral("download2.html")).contains("http://g.test/big.jpg"));
    EXPECT_EQ(folder.read(QStringLiteral("download1.html")), "earlier");
}

// Where the server's answer for a link is known it decides, not the name; a web link named like a
// picture whose answer is not known is asked about first, and without an answer its name decides.
TEST(ViewRun, TheServersAnswerDecidesPictureOrPage)
{
    Settings settings;
    LinkAnswers answers;
    answers.note(QStringLiteral("http://wiki.test/File:Harbour.jpg"), LinkAnswers::Kind::Page);
    answers.note(QStringLiteral("http://g.test/show?id=7"), LinkAnswers::Kind::Picture);
    answers.note(QStringLiteral("http://g.test/known.jpg"), LinkAnswers::Kind::Picture);
    ViewRun run(settings);
    run.setLinkAnswers(&answers);
    run.start({"http://g.test/known.jpg", "http://wiki.test/File:Harbour.jpg", "http://g.test/show?id=7",
               "http://g.test/new.jpg", "http://g.test/silent.jpg", "file:///home/u/local.jpg"},
              false);

    EXPECT_EQ(run.nextPage(), "http://wiki.test/File:Harbour.jpg") << "named like a picture, answered with a page";
    EXPECT_TRUE(run.lastWasPage());
    const auto page = htmlDocument(QStringLiteral("<img src=\"/upload/Harbour.jpg\" width=800 height=600>"),
                                   QStringLiteral("http://wiki.test/File:Harbour.jpg"));
    run.takePage(page.get());

    EXPECT_EQ(run.nextPage(), QString());
    EXPECT_EQ(run.linkToAsk(), "http://g.test/new.jpg");
    EXPECT_FALSE(run.atEnd());
    run.answered(QStringLiteral("http://g.test/new.jpg"), LinkAnswers::Kind::Page);
    EXPECT_EQ(answers.kind(QStringLiteral("http://g.test/new.jpg")), LinkAnswers::Kind::Page);
    EXPECT_EQ(run.nextPage(), "http://g.test/new.jpg");
    run.takePage(nullptr);

    EXPECT_EQ(run.nextPage(), QString());
    EXPECT_EQ(run.linkToAsk(), "http://g.test/silent.jpg");
    run.answered(QStringLiteral("http://g.test/silent.jpg"), LinkAnswers::Kind::Unknown); // no answer came
    EXPECT_EQ(run.nextPage(), QString());
    EXPECT_EQ(run.linkToAsk(), QString());
    EXPECT_TRUE(run.atEnd());
    EXPECT_EQ(run.pictures(), QStringList({"http://g.test/known.jpg", "http://wiki.test/upload/Harbour.jpg",
                                           "http://g.test/show?id=7", "http://g.test/silent.jpg",
                                           "file:///home/u/local.jpg"}));

    // Without answers the names alone decide, and nothing is asked.
    ViewRun byName(settings);
    byName.start({"http://wiki.test/File:Harbour.jpg", "http://g.test/show?id=7"}, false);
    EXPECT_EQ(byName.nextPage(), "http://g.test/show?id=7");
    EXPECT_EQ(byName.pictures(), QStringList({"http://wiki.test/File:Harbour.jpg"}));
}
