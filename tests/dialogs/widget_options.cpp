#include "core/ProgramFiles.h"
#include "dialogs/OptionsDialog.h"
#include "testing/RecordingDialogs.h"
#include "tests/support/TestSupport.h"

#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

using pxt::OptionsDialog;

namespace {

const QByteArray kFirstRunSection = "[TDlgOptions]\r\n"
                                    "FormVersion=0\r\n"
                                    "EditFileTypes_Text=jpg, jpeg, gif\r\n"
                                    "CheckBox1_Checked=True\r\n"
                                    "RxSpinEditRatio_Value=2.75\r\n"
                                    "RxSpinEditColCount_Value=2\r\n"
                                    "RxSpinEditHeight_Value=50\r\n"
                                    "RxSpinEditWidth_Value=50\r\n"
                                    "RxSpinEditParallel_Value=4\r\n"
                                    "ThumbnailSize_Value=200\r\n"
                                    "CheckBoxLogin_Checked=True\r\n"
                                    "CheckBoxUnlinked_Checked=True\r\n";

class OptionsTest : public ::testing::Test {
protected:
    std::unique_ptr<OptionsDialog> makeDialog() { return std::make_unique<OptionsDialog>(settings, messages); }

    pxt::test::TempProgramFolder folder;
    pxt::RecordingDialogs messages;
    pxt::Settings settings;
};

void expectSnapshot(const pxt::Settings& s, const QString& types, float ratio, int columns, int w, int h)
{
    EXPECT_EQ(s.fileTypes(), types);
    EXPECT_FLOAT_EQ(s.bannerRatio(), ratio);
    EXPECT_EQ(s.thumbColumnCount(), columns);
    EXPECT_EQ(s.minThumbWidth(), w);
    EXPECT_EQ(s.minThumbHeight(), h);
}

TEST_F(OptionsTest, NoSettingsFile)
{
    auto dlg = makeDialog();
    EXPECT_EQ(dlg->iniFileName(), pxt::programFolder() + "pxt.ini");
    dlg->show();
    EXPECT_EQ(dlg->windowTitle(), "Options");
    expectSnapshot(settings, "jpg, jpeg, gif", 2.75f, 2, 50, 50);
    EXPECT_TRUE(settings.linkFilterEnabled());
    EXPECT_TRUE(settings.linkFilterLines().isEmpty());
    EXPECT_FALSE(folder.exists("pxt.ini")) << "showing writes nothing";
    dlg->cancelButton()->click();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(folder.read("pxt.ini"), kFirstRunSection); // an empty memo leaves no lines section
    EXPECT_TRUE(messages.errors.isEmpty());
}

TEST_F(OptionsTest, StartUpReadWithoutShowingAndTheWriteAtTheEnd)
{
    folder.write("pxt.ini", "[TDlgOptions]\r\nRxSpinEditWidth_Value=70\r\n");
    {
        auto dlg = makeDialog();
        dlg->loadAtStart();
        EXPECT_FALSE(dlg->isVisible());
        EXPECT_EQ(settings.minThumbWidth(), 70);
    }
    EXPECT_TRUE(folder.read("pxt.ini").contains("RxSpinEditWidth_Value=70\r\n"));

    // Never read: the section is not written over.
    folder.write("pxt.ini", "[TDlgOptions]\r\nRxSpinEditWidth_Value=80\r\n");
    makeDialog().reset();
    EXPECT_EQ(folder.read("pxt.ini"), "[TDlgOptions]\r\nRxSpinEditWidth_Value=80\r\n");
}

TEST_F(OptionsTest, EveryCloseWritesAndTheEndDoesNotWriteAgain)
{
    auto dlg = makeDialog();
    const std::function<void()> closes[] = {[&] { dlg->okButton()->click(); }, [&] { dlg->cancelButton()->click(); },
                                            [&] { QTest::keyClick(dlg.get(), Qt::Key_Escape); },
                                            [&] { dlg->close(); }};
    for (const auto& close : closes) {
        QFile::remove(folder.file("pxt.ini"));
        dlg->show();
        close();
        EXPECT_FALSE(dlg->isVisible());
        EXPECT_EQ(folder.read("pxt.ini"), kFirstRunSection);
    }
    QFile::remove(folder.file("pxt.ini"));
    dlg.reset();
    EXPECT_FALSE(folder.exists("pxt.ini"));
}

TEST_F(OptionsTest, DefaultThenOk)
{
    folder.write("pxt.ini", "[TDlgOptions]\r\nEditFileTypes_Text=png\r\nCheckBox1_Checked=False\r\n"
                            "RxSpinEditRatio_Value=9\r\nRxSpinEditColCount_Value=7\r\nCheckBoxLogin_Checked=False\r\n"
                            "[TDlgOptions.MemoFilter_Lines]\r\nCount=1\r\nItem0=ads\r\n");
    auto dlg = makeDialog();
    dlg->show();
    dlg->defaultButton()->click();
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(settings.fileTypes(), "png") << "Default does not take the snapshot";
    dlg->okButton()->click();
    expectSnapshot(settings, "jpg, jpeg, gif", 2.75f, 2, 20, 20);
    EXPECT_TRUE(settings.useBrowserLogin());
    EXPECT_FALSE(settings.linkFilterEnabled());
    EXPECT_EQ(settings.linkFilterLines(), QStringList{"ads"});
    EXPECT_TRUE(folder.read("pxt.ini").endsWith("[TDlgOptions.MemoFilter_Lines]\r\nCount=1\r\nItem0=ads\r\n"));
}

TEST_F(OptionsTest, CancelKeepsTheSnapshotButNotTheLinkFilter)
{
    auto dlg = makeDialog();
    dlg->show();
    dlg->bannerRatioBox()->setValue(5);
    dlg->linkFilterBox()->setChecked(false);
    dlg->filterEdit()->setPlainText("banner\nads");
    dlg->cancelButton()->click();
    EXPECT_TRUE(folder.read("pxt.ini").contains("RxSpinEditRatio_Value=5\r\n"));
    EXPECT_FLOAT_EQ(settings.bannerRatio(), 2.75f);
    EXPECT_FALSE(settings.linkFilterEnabled());
    EXPECT_EQ(settings.linkFilterLines(), (QStringList{"banner", "ads"}));
    dlg->show();
    EXPECT_FLOAT_EQ(settings.bannerRatio(), 5.0f);
}

TEST_F(OptionsTest, TextRoundTrips)
{
    const QString longLine = "/" + QString(400, u'w') + "/ads/";
    {
        auto dlg = makeDialog();
        dlg->show();
        dlg->fileTypesEdit()->setText("'jpg, gif'");
        dlg->filterEdit()->setPlainText(longLine + "\n  spaced \n'quoted'");
        EXPECT_EQ(dlg->linkFilterLines().size(), 3) << "a wrapped line is still one line";
        dlg->okButton()->click();
    }
    const QByteArray file = folder.read("pxt.ini");
    EXPECT_TRUE(file.contains("EditFileTypes_Text=\"'jpg, gif'\"\r\n"));
    EXPECT_TRUE(file.contains("Count=3\r\nItem0=" + longLine.toLatin1() + "\r\nItem1=  spaced \r\nItem2=\"'quoted'\"\r\n"));
    auto dlg = makeDialog();
    dlg->show();
    EXPECT_EQ(dlg->fileTypesEdit()->text(), "'jpg, gif'");
    EXPECT_EQ(settings.fileTypes(), "'jpg, gif'");
    EXPECT_EQ(settings.linkFilterLines(), (QStringList{longLine, "  spaced ", "'quoted'"}));
}

TEST_F(OptionsTest, ALineBreakAtTheEndStartsNoLine)
{
    const struct {
        QString text;
        QStringList lines;
    } cases[] = {
        {"a\nb\n", {"a", "b"}},
        {"a\nb", {"a", "b"}},
        {"a\n\n", {"a", ""}},
        {"\n", {""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        {
            auto dlg = makeDialog();
            dlg->show();
            dlg->filterEdit()->setPlainText(c.text);
            EXPECT_EQ(dlg->linkFilterLines(), c.lines);
            dlg->okButton()->click();
        }
        EXPECT_TRUE(folder.read("pxt.ini").contains("Count=" + QByteArray::number(c.lines.size()) + "\r\n"));
        auto dlg = makeDialog();
        dlg->show();
        EXPECT_EQ(dlg->linkFilterLines(), c.lines) << "read back from the file";
    }
}

TEST_F(OptionsTest, EmptiedMemoErasesTheLinesSection)
{
    folder.write("pxt.ini", "[TDlgOptions.MemoFilter_Lines]\r\nCount=2\r\nItem0=a\r\nItem1=b\r\n"
                            "[TFormMain]\r\nFrameThumbs1_Width=300\r\n");
    auto dlg = makeDialog();
    dlg->show();
    EXPECT_EQ(dlg->linkFilterLines(), (QStringList{"a", "b"}));
    dlg->filterEdit()->clear();
    dlg->cancelButton()->click();
    const QByteArray file = folder.read("pxt.ini");
    EXPECT_FALSE(file.contains("MemoFilter_Lines"));
    EXPECT_TRUE(file.startsWith("[TFormMain]\r\nFrameThumbs1_Width=300\r\n[TDlgOptions]\r\n"));
    dlg->show();
    EXPECT_TRUE(dlg->linkFilterLines().isEmpty());
}

// Values found in the file; the dialog starts from its designed content.
struct FileCase {
    const char* name;
    QByteArray file;
    std::function<void(const OptionsDialog&)> check;
};

class OptionsFromFile : public OptionsTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(OptionsFromFile, ReadsTheFields)
{
    folder.write("pxt.ini", GetParam().file);
    auto dlg = makeDialog();
    dlg->show();
    GetParam().check(*dlg);
    EXPECT_TRUE(messages.errors.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Values, OptionsFromFile,
    ::testing::Values(
        FileCase{"RatioNotANumberLeavesTheField", "[TDlgOptions]\r\nRxSpinEditRatio_Value=abc\r\n",
                 [](const OptionsDialog& d) { EXPECT_EQ(d.bannerRatioBox()->value(), 2.75); }},
        FileCase{"RatioWithCommaIsNoNumber", "[TDlgOptions]\r\nRxSpinEditRatio_Value=2,5\r\n",
                 [](const OptionsDialog& d) { EXPECT_EQ(d.bannerRatioBox()->value(), 2.75); }},
        FileCase{"RatioRoundedToTwoDecimals", "[TDlgOptions]\r\nRxSpinEditRatio_Value=1.23456\r\n",
                 [](const OptionsDialog& d) { EXPECT_EQ(d.bannerRatioBox()->value(), 1.23); }},
        FileCase{"RatioClamped", "[TDlgOptions]\r\nRxSpinEditRatio_Value=1e9\r\n",
                 [](const OptionsDialog& d) { EXPECT_EQ(d.bannerRatioBox()->value(), 1000); }},
        FileCase{"ColumnCountClamped", "[TDlgOptions]\r\nRxSpinEditColCount_Value=50\r\n",
                 [](const OptionsDialog& d) { EXPECT_EQ(d.columnCountBox()->value(), 20); }},
        FileCase{"HalfRoundsToEven", "[TDlgOptions]\r\nRxSpinEditWidth_Value=2.5\r\nRxSpinEditHeight_Value=3.5\r\n",
                 [](const OptionsDialog& d) {
                     EXPECT_EQ(d.minWidthBox()->value(), 2);
                     EXPECT_EQ(d.minHeightBox()->value(), 4);
                 }},
        FileCase{"ParallelRequestsClamped", "[TDlgOptions]\r\nRxSpinEditParallel_Value=12\r\n",
                 [](const OptionsDialog& d) { EXPECT_EQ(d.parallelBox()->value(), 8); }},
        FileCase{"ParallelRequestsAtLeastOne", "[TDlgOptions]\r\nRxSpinEditParallel_Value=0\r\n",
                 [](const OptionsDialog& d) { EXPECT_EQ(d.parallelBox()->value(), 1); }},
        FileCase{"ParallelRequestsMissingIsTheDefault", "[TDlgOptions]\r\nRxSpinEditWidth_Value=70\r\n",
                 [](const OptionsDialog& d) { EXPECT_EQ(d.parallelBox()->value(), 4); }},
        FileCase{"NegativeWidthClamped", "[TDlgOptions]\r\nRxSpinEditWidth_Value=-5\r\n",
                 [](const OptionsDialog& d) { EXPECT_EQ(d.minWidthBox()->value(), 0); }},
        FileCase{"CheckBoxIgnoresCase", "[TDlgOptions]\r\nCheckBox1_Checked=fALSE\r\n",
                 [](const OptionsDialog& d) { EXPECT_FALSE(d.linkFilterBox()->isChecked()); }},
        FileCase{"LoginOffRead", "[TDlgOptions]\r\nCheckBoxLogin_Checked=False\r\n",
                 [](const OptionsDialog& d) { EXPECT_FALSE(d.loginBox()->isChecked()); }},
        FileCase{"PicturesWithoutALinkOffRead", "[TDlgOptions]\r\nCheckBoxUnlinked_Checked=False\r\n",
                 [](const OptionsDialog& d) { EXPECT_FALSE(d.unlinkedBox()->isChecked()); }},
        FileCase{"LoginMissingIsOn", "[TDlgOptions]\r\nCheckBox1_Checked=False\r\n",
                 [](const OptionsDialog& d) { EXPECT_TRUE(d.loginBox()->isChecked()); }},
        FileCase{"CheckBoxOtherTextLeavesIt", "[TDlgOptions]\r\nCheckBox1_Checked=0\r\n",
                 [](const OptionsDialog& d) { EXPECT_TRUE(d.linkFilterBox()->isChecked()); }},
        FileCase{"EmptyFileTypesRead", "[TDlgOptions]\r\nEditFileTypes_Text=\r\n",
                 [](const OptionsDialog& d) { EXPECT_EQ(d.fileTypesEdit()->text(), ""); }},
        FileCase{"NegativeVersionAppliesNothing",
                 "[TDlgOptions]\r\nFormVersion=-1\r\nEditFileTypes_Text=png\r\n"
                 "[TDlgOptions.MemoFilter_Lines]\r\nCount=1\r\nItem0=a\r\n",
                 [](const OptionsDialog& d) {
                     EXPECT_EQ(d.fileTypesEdit()->text(), "jpg, jpeg, gif");
                     EXPECT_TRUE(d.linkFilterLines().isEmpty());
                 }},
        FileCase{"MissingItemsGiveEmptyLines", "[TDlgOptions.MemoFilter_Lines]\r\nCount=3\r\nItem1=b\r\n",
                 [](const OptionsDialog& d) { EXPECT_EQ(d.linkFilterLines(), (QStringList{"", "b", ""})); }},
        FileCase{"CountNotANumberKeepsTheMemo", "[TDlgOptions.MemoFilter_Lines]\r\nCount=two\r\nItem0=a\r\n",
                 [](const OptionsDialog& d) { EXPECT_TRUE(d.linkFilterLines().isEmpty()); }},
        FileCase{"AbsurdCountIsBounded", "[TDlgOptions.MemoFilter_Lines]\r\nCount=2147483647\r\nItem0=a\r\n",
                 [](const OptionsDialog& d) {
                     const QStringList lines = d.linkFilterLines();
                     EXPECT_EQ(lines.value(0), "a");
                     EXPECT_LE(lines.size(), 100000);
                 }},
        FileCase{"GarbageFileReadsAsDesigned", QByteArray("\x00\xff[[=\r\r\n=]\x01", 11),
                 [](const OptionsDialog& d) {
                     EXPECT_EQ(d.fileTypesEdit()->text(), "jpg, jpeg, gif");
                     EXPECT_EQ(d.columnCountBox()->value(), 2);
                 }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OptionsTest, TextThatIsNoNumberCountsAsTheLowerLimit)
{
    auto dlg = makeDialog();
    dlg->show();
    for (QAbstractSpinBox* box : std::initializer_list<QAbstractSpinBox*>{
             dlg->bannerRatioBox(), dlg->columnCountBox(), dlg->minWidthBox(), dlg->minHeightBox()}) {
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Backspace);
        ASSERT_EQ(box->text(), "");
    }
    QTest::keyClicks(dlg->columnCountBox(), "0"); // below the range
    dlg->okButton()->click();
    expectSnapshot(settings, "jpg, jpeg, gif", 0.0f, 1, 0, 0);
    EXPECT_EQ(dlg->columnCountBox()->text(), "1");
}

TEST_F(OptionsTest, WholeNumberSetterRoundsAndClamps)
{
    QSpinBox box;
    box.setRange(1, 20);
    const std::pair<double, int> cases[] = {{0.5, 1}, {2.5, 2}, {3.5, 4}, {-7, 1}, {1e12, 20}, {19.49, 19}};
    for (auto [in, out] : cases) {
        pxt::setWholeValue(box, in);
        EXPECT_EQ(box.value(), out) << in;
    }
    pxt::setWholeValue(box, std::nan(""));
    EXPECT_EQ(box.value(), 19);
}

TEST_F(OptionsTest, UnwritableFileIsReportedAndNothingIsLost)
{
    const QString missing = folder.file("no/such/folder/");
    ASSERT_TRUE(QDir(folder.path()).mkdir("pxt.ini"));
    for (const QString& programFolder : {folder.path(), missing}) {
        pxt::setProgramFolderForTests(programFolder);
        messages.errors.clear();
        auto dlg = makeDialog();
        dlg->show();
        dlg->minWidthBox()->setValue(77);
        dlg->okButton()->click();
        EXPECT_FALSE(dlg->isVisible()) << "the close goes on";
        EXPECT_EQ(messages.errors, QStringList{"nach " + programFolder + "pxt.ini kann nicht geschrieben werden"});
        EXPECT_EQ(settings.minThumbWidth(), 77);
        EXPECT_EQ(dlg->minWidthBox()->value(), 77);
        dlg.reset();
        EXPECT_EQ(messages.errors.size(), 1) << "no second write at the end";
    }
    EXPECT_TRUE(QFileInfo(folder.file("pxt.ini")).isDir());
}

TEST_F(OptionsTest, GermanLocaleStillUsesThePoint)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    {
        auto dlg = makeDialog();
        dlg->show();
        EXPECT_EQ(dlg->bannerRatioBox()->text(), "2,75");
        dlg->cancelButton()->click();
        EXPECT_TRUE(folder.read("pxt.ini").contains("RxSpinEditRatio_Value=2.75\r\n"));
        folder.write("pxt.ini", "[TDlgOptions]\r\nRxSpinEditRatio_Value=3.5\r\n");
        dlg->show();
        EXPECT_EQ(dlg->bannerRatioBox()->value(), 3.5);
        EXPECT_FLOAT_EQ(settings.bannerRatio(), 3.5f);
        dlg->cancelButton()->click();
    }
    QLocale::setDefault(saved);
}

TEST_F(OptionsTest, ControlsInTabOrder)
{
    auto dlg = makeDialog();
    QStringList names;
    QWidget* w = dlg->fileTypesEdit();
    for (int i = 0; i < 14; ++i, w = w->nextInFocusChain()) {
        while (w->focusPolicy() == Qt::NoFocus || w->parentWidget() != dlg.get())
            w = w->nextInFocusChain();
        names << w->objectName();
    }
    EXPECT_EQ(names, (QStringList{"fileTypesEdit", "linkFilterBox", "filterEdit", "bannerRatioBox", "columnCountBox",
                                  "minWidthBox", "minHeightBox", "thumbnailSizeBox", "parallelBox", "loginBox",
                                  "unlinkedBox", "defaultButton", "okButton", "cancelButton"}));
    EXPECT_TRUE(dlg->okButton()->isDefault());
}

} // namespace
