#include "core/Error.h"
#include "core/IniFile.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <functional>

using pxt::IniFile;
using Trim = IniFile::Trim;
using Kind = IniFile::Kind;

namespace {

struct ReadCase {
    const char* name;
    QByteArray content;
    const char* section;
    const char* key;
    Trim trim;
    std::optional<QString> expected;
};

class IniRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(IniRead, FindsTheValue)
{
    const ReadCase& c = GetParam();
    const IniFile ini = IniFile::fromBytes(c.content);
    EXPECT_EQ(ini.read(QString::fromLatin1(c.section), QString::fromLatin1(c.key), c.trim), c.expected);
}

const QString k2047 = QString(2047, u'x');

INSTANTIATE_TEST_SUITE_P(
    Format, IniRead,
    ::testing::Values(
        ReadCase{"SectionAndKeyIgnoreCase", "[TDlgOptions]\r\nCheckBox1_Checked=True\r\n", "tdlgoptions",
                 "CHECKBOX1_CHECKED", Trim::Yes, "True"},
        ReadCase{"LfLineEnds", "[a]\nx=1\ny=2\n", "a", "y", Trim::Yes, "2"},
        ReadCase{"CrLfLineEnds", "[a]\r\nx=1\r\ny=2\r\n", "a", "x", Trim::Yes, "1"},
        ReadCase{"LastLineWithoutEnd", "[a]\r\nx=1", "a", "x", Trim::Yes, "1"},
        ReadCase{"BlanksAroundNames", "  [ a ]  \r\n  x  = 1\r\n", "a", "x", Trim::Yes, "1"},
        ReadCase{"MissingKey", "[a]\r\nx=1\r\n", "a", "y", Trim::Yes, std::nullopt},
        ReadCase{"KeyOfOtherSection", "[a]\r\nx=1\r\n[b]\r\n", "b", "x", Trim::Yes, std::nullopt},
        ReadCase{"KeyBeforeAnySection", "x=1\r\n[a]\r\n", "a", "x", Trim::Yes, std::nullopt},
        ReadCase{"EmptyValueIsPresent", "[a]\r\nx=\r\n", "a", "x", Trim::Yes, ""},
        ReadCase{"SingleValueTrimmed", "[a]\r\nx= \t jpg, gif \x01\r\n", "a", "x", Trim::Yes, "jpg, gif"},
        ReadCase{"ListItemUntrimmed", "[a]\r\nItem0=  ads \r\n", "a", "Item0", Trim::No, "  ads "},
        ReadCase{"DoubleQuotesRemoved", "[a]\r\nx=\"abc\"\r\n", "a", "x", Trim::Yes, "abc"},
        ReadCase{"SingleQuotesRemoved", "[a]\r\nx='abc'\r\n", "a", "x", Trim::Yes, "abc"},
        ReadCase{"OnlyOnePairRemoved", "[a]\r\nx=\"'abc'\"\r\n", "a", "x", Trim::Yes, "'abc'"},
        ReadCase{"UnmatchedQuotesKept", "[a]\r\nx=\"abc'\r\n", "a", "x", Trim::Yes, "\"abc'"},
        ReadCase{"LoneQuoteKept", "[a]\r\nx=\"\r\n", "a", "x", Trim::Yes, "\""},
        ReadCase{"EqualsInValue", "[a]\r\nx=a=b\r\n", "a", "x", Trim::Yes, "a=b"},
        ReadCase{"CutAt2047", "[a]\r\nx=" + QByteArray(3000, 'x') + "\r\n", "a", "x", Trim::Yes, k2047},
        ReadCase{"CutAfterQuotesRemoved", "[a]\r\nx=\"" + QByteArray(3000, 'x') + "\"\r\n", "a", "x", Trim::Yes,
                 k2047},
        ReadCase{"FirstOfDuplicateKeys", "[a]\r\nx=1\r\nX=2\r\n", "a", "x", Trim::Yes, "1"},
        ReadCase{"FirstOfDuplicateSections", "[a]\r\nx=1\r\n[A]\r\nx=2\r\ny=3\r\n", "a", "x", Trim::Yes, "1"},
        ReadCase{"SecondDuplicateSectionNotSearched", "[a]\r\nx=1\r\n[A]\r\ny=3\r\n", "a", "y", Trim::Yes,
                 std::nullopt},
        ReadCase{"Latin1Text", "[a]\r\nx=Gr\xfc\xdf\x65\r\n", "a", "x", Trim::Yes, QStringLiteral("Grüße")}),
    [](const auto& info) { return std::string(info.param.name); });

struct WriteCase {
    const char* name;
    QByteArray before;
    std::function<void(IniFile&)> change;
    QByteArray after;
};

class IniWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(IniWrite, GivesTheFile)
{
    const WriteCase& c = GetParam();
    IniFile ini = IniFile::fromBytes(c.before);
    c.change(ini);
    EXPECT_EQ(ini.toBytes(), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Format, IniWrite,
    ::testing::Values(
        WriteCase{"NewFile", "", [](IniFile& i) { i.write("TFormMain", "FormVersion", "0", Kind::Number); },
                  "[TFormMain]\r\nFormVersion=0\r\n"},
        WriteCase{"ReplacedInPlace", "[a]\nX=1\ny=2\n", [](IniFile& i) { i.write("A", "x", "9"); },
                  "[a]\r\nx=9\r\ny=2\r\n"},
        WriteCase{"NewKeyAtEndOfSection", "[a]\r\nx=1\r\n[b]\r\ny=2\r\n", [](IniFile& i) { i.write("a", "z", "3"); },
                  "[a]\r\nx=1\r\nz=3\r\n[b]\r\ny=2\r\n"},
        WriteCase{"NewSectionAtEndOfFile", "[a]\r\nx=1\r\n", [](IniFile& i) { i.write("b", "y", "2"); },
                  "[a]\r\nx=1\r\n[b]\r\ny=2\r\n"},
        WriteCase{"OtherLinesKept", "; note\r\n[a]\r\n\xff garbage\r\n\r\nx=1\r\n",
                  [](IniFile& i) { i.write("a", "x", "2"); }, "; note\r\n[a]\r\n\xff garbage\r\n\r\nx=2\r\n"},
        WriteCase{"FirstOfDuplicateKeysReplaced", "[a]\r\nx=1\r\nx=2\r\n", [](IniFile& i) { i.write("a", "x", "3"); },
                  "[a]\r\nx=3\r\nx=2\r\n"},
        WriteCase{"SingleValueTrimmed", "", [](IniFile& i) { i.write("a", "x", " \tjpg \x01"); }, "[a]\r\nx=jpg\r\n"},
        WriteCase{"ListItemUntrimmed", "", [](IniFile& i) { i.write("a", "x", " ads ", Kind::Text, Trim::No); },
                  "[a]\r\nx= ads \r\n"},
        WriteCase{"SingleQuotedTextWrapped", "", [](IniFile& i) { i.write("a", "x", "'jpg'"); },
                  "[a]\r\nx=\"'jpg'\"\r\n"},
        WriteCase{"DoubleQuotedTextWrapped", "", [](IniFile& i) { i.write("a", "x", "\"jpg\""); },
                  "[a]\r\nx=\"\"jpg\"\"\r\n"},
        WriteCase{"HalfQuotedTextAsIs", "", [](IniFile& i) { i.write("a", "x", "'jpg"); }, "[a]\r\nx='jpg\r\n"},
        WriteCase{"QuotedNumberAsIs", "", [](IniFile& i) { i.write("a", "x", "'1'", Kind::Number); },
                  "[a]\r\nx='1'\r\n"},
        WriteCase{"LineBreakInValueCannotForgeLines", "",
                  [](IniFile& i) { i.write("a", "x", "1\r\n[b]\ny=2", Kind::Text, Trim::No); },
                  "[a]\r\nx=1  [b] y=2\r\n"},
        WriteCase{"EraseSectionWithAllItsLines", "[a]\r\nx=1\r\n[L]\r\nCount=1\r\n; c\r\n[b]\r\n[l]\r\nItem0=q\r\n",
                  [](IniFile& i) { i.eraseSection(u"l"); }, "[a]\r\nx=1\r\n[b]\r\n"},
        WriteCase{"EraseThenWriteStartsAnew", "[L]\r\nCount=2\r\nItem1=b\r\n[a]\r\n",
                  [](IniFile& i) {
                      i.eraseSection(u"L");
                      i.write("L", "Count", "1");
                  },
                  "[a]\r\n[L]\r\nCount=1\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IniFile, AValueAloneInItsFileReadsBackUnchanged)
{
    // Latin-1 text whose bytes happen to be valid UTF-8 ("Ã©" is C3 A9, the UTF-8 of "é") must not be
    // read back as that other text.
    const QStringList values = {"Ã©", "Â£ 5", "ß¿", "Grüße", "€", "plain"};
    for (const QString& value : values) {
        IniFile ini = IniFile::fromBytes({});
        ini.write("s", "k", value);
        EXPECT_EQ(IniFile::fromBytes(ini.toBytes()).read(u"s", u"k"), value) << value.toStdString();
    }
}

TEST(IniFile, WrittenValuesReadBackUnchanged)
{
    const QStringList values = {"'jpg, gif'", "\"x\"", "\"", "'", "a'b\"c", "", "Grüße", "\"'both'\""};
    IniFile ini = IniFile::fromBytes({});
    for (int i = 0; i < values.size(); ++i)
        ini.write("s", QString::number(i), values[i]);
    const IniFile back = IniFile::fromBytes(ini.toBytes());
    for (int i = 0; i < values.size(); ++i)
        EXPECT_EQ(back.read(u"s", QString::number(i)), values[i]) << i;
}

TEST(IniFile, RandomBytesNeverBreakTheReader)
{
    QRandomGenerator rng(20240611);
    const QByteArray alphabet = "[]=\r\n \t\"'ab\x00\xff";
    for (int round = 0; round < 3000; ++round) {
        QByteArray data(int(rng.bounded(600)), '\0');
        for (char& c : data)
            c = round % 2 ? char(rng.bounded(256)) : alphabet[int(rng.bounded(alphabet.size()))];
        IniFile ini = IniFile::fromBytes(data);
        (void)ini.read(u"a", u"b");
        (void)ini.read(u"", u"");
        ini.write("a", "b", "c");
        ini.eraseSection(u"");
        EXPECT_EQ(IniFile::fromBytes(ini.toBytes()).read(u"a", u"b"), "c");
    }
}

TEST(IniFile, TenMegabyteLine)
{
    const QByteArray huge(10 * 1024 * 1024, 'q');
    const IniFile ini = IniFile::fromBytes("[a]\r\nbig=" + huge + "\r\nx=1\r\n" + huge);
    EXPECT_EQ(ini.read(u"a", u"big")->size(), IniFile::kMaxValueLength);
    EXPECT_EQ(ini.read(u"a", u"x"), "1");
}

TEST(IniFile, OnlyTheFirstMegabyteOfTheFileIsRead)
{
    // Millions of tiny sections would cost many times their size in memory, at every read.
    pxt::test::TempProgramFolder folder;
    QByteArray content = "[first]\r\nx=1\r\n";
    while (content.size() < IniFile::kMaxFileBytes - 20)
        content += "[s]\r\n";
    content += "[edge]\r\nkey=cut in two\r\n[late]\r\ny=2\r\n";
    folder.write("pxt.ini", content);

    testing::internal::CaptureStderr();
    const IniFile ini(folder.file("pxt.ini"));
    const IniFile again(folder.file("pxt.ini"));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ini.read(u"first", u"x"), "1");
    EXPECT_TRUE(ini.hasSection(u"edge"));
    EXPECT_EQ(ini.read(u"edge", u"key"), std::nullopt) << "a line the limit cuts is left out whole";
    EXPECT_FALSE(ini.hasSection(u"late"));
    EXPECT_LE(ini.toBytes().size(), IniFile::kMaxFileBytes);
    // Said once for the whole run.
    EXPECT_NE(said.find("pxt.ini is larger than 1048576 bytes"), std::string::npos) << said;
    EXPECT_EQ(said.find("pxt.ini", said.find("pxt.ini") + 1), std::string::npos) << said;
}

TEST(IniFile, SaveReplacesTheFileAsLatin1OrWhereNeededUtf8)
{
    pxt::test::TempProgramFolder folder;
    folder.write("pxt.ini", "[a]\nx=1\n");
    IniFile ini(folder.file("pxt.ini"));
    ini.write("a", "y", "Grüße");
    ini.save();
    EXPECT_EQ(folder.read("pxt.ini"), "[a]\r\nx=1\r\ny=Gr\xfc\xdf\x65\r\n");
    EXPECT_EQ(IniFile(folder.file("pxt.ini")).read(u"A", u"Y"), "Grüße");
    EXPECT_EQ(IniFile(folder.file("missing.ini")).read(u"a", u"x"), std::nullopt);

    // A character Latin-1 lacks turns the whole file into UTF-8; both values come back as they were.
    ini.write("a", "z", "日本.jpg");
    ini.save();
    EXPECT_EQ(folder.read("pxt.ini"), "[a]\r\nx=1\r\ny=Gr\xc3\xbc\xc3\x9f\x65\r\nz=\xe6\x97\xa5\xe6\x9c\xac.jpg\r\n");
    const IniFile back(folder.file("pxt.ini"));
    EXPECT_EQ(back.read(u"a", u"y"), "Grüße");
    EXPECT_EQ(back.read(u"a", u"z"), "日本.jpg");
}

TEST(IniFile, FailedSaveReportsThePathAndKeepsWhatWasThere)
{
    pxt::test::TempProgramFolder folder;
    ASSERT_TRUE(QDir(folder.path()).mkdir("pxt.ini"));
    const QString missingFolder = folder.file("no/such/folder/pxt.ini");
    for (const QString& path : {folder.file("pxt.ini"), missingFolder}) {
        IniFile ini(path);
        EXPECT_EQ(ini.read(u"a", u"x"), std::nullopt);
        ini.write("a", "x", "1");
        try {
            ini.save();
            ADD_FAILURE() << "saved " << path.toStdString();
        } catch (const pxt::Error& e) {
            EXPECT_EQ(e.text(), "nach " + path + " kann nicht geschrieben werden");
        }
    }
    EXPECT_TRUE(QFileInfo(folder.file("pxt.ini")).isDir());
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList{"clear.html"});
}

} // namespace
