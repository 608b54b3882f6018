#include "app/AboutDialog.h"
#include "app/JpegImage.h"
#include "app/SplashWindow.h"

#include "testing/RecordingDialogs.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace pxt;

namespace {

QByteArray resource(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct ShippedPicture {
    const char* path;
    QSize size;
};

TEST(JpegImage, ShippedPicturesDecodeToTheirSizes)
{
    const std::vector<ShippedPicture> pictures = {{":/splash.jpg", {549, 335}}, {":/info.jpg", {50, 50}}};
    for (const auto& p : pictures) {
        const QImage image = decodeJpeg(resource(QString::fromLatin1(p.path)));
        EXPECT_EQ(image.size(), p.size) << p.path;
        EXPECT_EQ(loadJpeg(QString::fromLatin1(p.path)).size(), p.size) << p.path;
    }
}

TEST(JpegImage, DecodedPixelsSurviveTheDecoder)
{
    // The splash has its dark background in the top left corner, not libjpeg's grey fill.
    const QImage image = loadJpeg(QStringLiteral(":/splash.jpg"));
    ASSERT_FALSE(image.isNull());
    const QColor corner = image.pixelColor(2, 2);
    EXPECT_LT(corner.lightness(), 80);
    // A copy outlives the original's buffer.
    QImage copy;
    {
        const QImage original = decodeJpeg(resource(QStringLiteral(":/info.jpg")));
        copy = original;
    }
    EXPECT_EQ(copy.size(), QSize(50, 50));
    EXPECT_EQ(copy.pixelColor(0, 0), copy.copy().pixelColor(0, 0));
}

struct BadJpeg {
    const char* what;
    QByteArray data;
};

TEST(JpegImage, DamagedDataGivesANullImage)
{
    const QByteArray good = resource(QStringLiteral(":/splash.jpg"));
    ASSERT_GT(good.size(), 1000);
    QByteArray scrambled = good;
    for (qsizetype i = good.size() / 3; i < good.size() - 2; i += 7)
        scrambled[i] = char(0xFF);
    QByteArray badHeader = good;
    const qsizetype frame = good.indexOf("\xFF\xC0", 2);
    ASSERT_GT(frame, 0);
    badHeader[frame + 5] = 0; // height 0 in the frame header
    badHeader[frame + 6] = 0;

    const std::vector<BadJpeg> cases = {
        {"empty", QByteArray()},
        {"start marker only", QByteArray("\xFF\xD8", 2)},
        {"garbage", QByteArray("this is not a picture at all, just words")},
        {"png signature", QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16)},
        {"header only", good.left(600)},
        {"truncated in the middle", good.left(good.size() / 2)},
        {"truncated near the end", good.left(good.size() - 40)},
        {"end marker missing", good.left(good.size() - 2)},
        {"scrambled scan data", scrambled},
        {"zero height", badHeader},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(decodeJpeg(c.data).isNull()) << c.what;
}

TEST(SplashForm, TakesThePictureSizeFramelessAndOnTop)
{
    auto* splash = new SplashWindow();
    QPointer<SplashWindow> alive(splash);
    EXPECT_EQ(splash->size(), QSize(549, 335));
    EXPECT_EQ(splash->picture()->geometry(), QRect(0, 0, 549, 335));
    ASSERT_FALSE(splash->picture()->pixmap().isNull());
    EXPECT_EQ(splash->picture()->pixmap().size(), QSize(549, 335));
    EXPECT_TRUE(splash->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(splash->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(splash->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_TRUE(splash->closeTimer()->isActive());
    EXPECT_EQ(splash->closeTimer()->interval(), 2500);
    splash->showAtOnce();
    EXPECT_TRUE(splash->isVisible());
    delete alive.data();
}

// The splash closes and frees itself on the first tick.
bool closesItselfOnTick(SplashWindow* splash)
{
    QPointer<SplashWindow> alive(splash);
    splash->closeTimer()->setInterval(30);
    splash->show();
    return test::waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return alive.isNull();
    });
}

TEST(SplashForm, ClosesAndFreesItselfOnItsTimer)
{
    EXPECT_TRUE(closesItselfOnTick(new SplashWindow()));
}

TEST(SplashForm, APictureThatDoesNotDecodeLeavesAnEmptyWindow)
{
    auto* splash = new SplashWindow(QByteArray("broken"));
    EXPECT_TRUE(splash->picture()->pixmap().isNull());
    EXPECT_EQ(splash->size(), QSize(549, 335));
    EXPECT_TRUE(closesItselfOnTick(splash));
}

class InfoDlgTest : public ::testing::Test {
protected:
    RecordingDialogs dialogs;
};

TEST_F(InfoDlgTest, HoldsItsCaptionTextsAndPicture)
{
    AboutDialog dlg(dialogs);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Info"));
    EXPECT_EQ(dlg.size(), QSize(313, 174));
    EXPECT_EQ(dlg.palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(dlg.picture()->pixmap().size(), QSize(50, 50));
    EXPECT_EQ(dlg.productLabel()->text(), QStringLiteral("Pixtrawl 1.0"));
    EXPECT_TRUE(dlg.productLabel()->font().bold() && dlg.productLabel()->font().italic());
    EXPECT_EQ(dlg.productLabel()->font().pixelSize(), 21);
    EXPECT_EQ(dlg.noticeLabel()->text(), QStringLiteral("Harvests thumbnail galleries from web pages."));
    EXPECT_EQ(dlg.webCaption()->text(), QStringLiteral("www"));
    EXPECT_EQ(dlg.mailCaption()->text(), QStringLiteral("mail"));
    EXPECT_EQ(dlg.webLabel()->text(), QStringLiteral("https://pixtrawl.example.org"));
    EXPECT_EQ(dlg.mailLabel()->text(), QStringLiteral("info@pixtrawl.example.org"));
    for (QLabel* link : {dlg.webLabel(), dlg.mailLabel()}) {
        EXPECT_TRUE(link->font().underline() && link->font().bold());
        EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 128));
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    }
    // Every text fits into the box.
    for (QLabel* l : dlg.findChildren<QLabel*>())
        EXPECT_TRUE(dlg.rect().contains(l->geometry())) << l->objectName().toStdString();
    EXPECT_EQ(dlg.okButton()->text(), QStringLiteral("OK"));
    EXPECT_TRUE(dlg.okButton()->isDefault());
}

TEST_F(InfoDlgTest, AClickOnALinkOpensItsAddress)
{
    AboutDialog dlg(dialogs);
    dlg.show();
    QTest::mouseClick(dlg.webLabel(), Qt::LeftButton);
    QTest::mouseClick(dlg.mailLabel(), Qt::LeftButton);
    QTest::mouseClick(dlg.webCaption(), Qt::LeftButton);
    QTest::mouseClick(dlg.webLabel(), Qt::RightButton);
    ASSERT_EQ(dialogs.openedUrls.size(), 2);
    EXPECT_EQ(dialogs.openedUrls[0], QUrl(QStringLiteral("https://pixtrawl.example.org")));
    EXPECT_EQ(dialogs.openedUrls[1], QUrl(QStringLiteral("mailto:info@pixtrawl.example.org")));
}

TEST_F(InfoDlgTest, OkClosesTheBox)
{
    AboutDialog dlg(dialogs);
    QTimer::singleShot(0, dlg.okButton(), [&] { QTest::mouseClick(dlg.okButton(), Qt::LeftButton); });
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(InfoDlgTest, ReturnPressesTheDefaultButton)
{
    AboutDialog dlg(dialogs);
    QTimer::singleShot(0, &dlg, [&] { QTest::keyClick(&dlg, Qt::Key_Return); });
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
}

} // namespace
