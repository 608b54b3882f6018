// Where the program's files live: beside a program in a build tree or a writable copy, under the
// user's configuration and cache folders for an installed one.
#include "core/ProgramFiles.h"

#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using pxt::ProgramFiles::placesFor;

namespace {
void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}
} // namespace

TEST(ProgramFiles, BesideABuildTreeOrACopyThatHoldsTheBlankPage)
{
    QTemporaryDir dir;
    const QString bin = dir.path() + "/build/bin/";
    touch(bin + "clear.html");
    const auto p = placesFor(bin, dir.path() + "/config", dir.path() + "/cache");
    EXPECT_TRUE(p.besideProgram);
    EXPECT_EQ(p.settingsFolder, bin);
    EXPECT_EQ(p.pagesFolder, bin);
    EXPECT_EQ(p.blankPage, bin + "clear.html");
}

TEST(ProgramFiles, AnInstalledProgramUsesTheUsersFolders)
{
    QTemporaryDir dir;
    const QString prefix = dir.path() + "/usr";
    touch(prefix + "/bin/pixtrawl");
    touch(prefix + "/share/pixtrawl/clear.html");
    const auto p = placesFor(prefix + "/bin", dir.path() + "/home/.config", dir.path() + "/home/.cache/");
    EXPECT_FALSE(p.besideProgram);
    EXPECT_EQ(p.settingsFolder, dir.path() + "/home/.config/pixtrawl/");
    EXPECT_EQ(p.pagesFolder, dir.path() + "/home/.cache/pixtrawl/");
    EXPECT_EQ(p.blankPage, prefix + "/share/pixtrawl/clear.html");
    EXPECT_TRUE(QFile::exists(p.blankPage));
}

TEST(ProgramFiles, AFolderTheUserCannotWriteKeepsItsBlankPage)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "every folder is writable for root";
    QTemporaryDir dir;
    const QString bin = dir.path() + "/opt/pixtrawl/";
    touch(bin + "clear.html");
    QFile::setPermissions(bin, QFile::ReadOwner | QFile::ExeOwner);
    const auto p = placesFor(bin, dir.path() + "/config", dir.path() + "/cache");
    QFile::setPermissions(bin, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_FALSE(p.besideProgram);
    EXPECT_EQ(p.settingsFolder, dir.path() + "/config/pixtrawl/");
    EXPECT_EQ(p.blankPage, bin + "clear.html");
}
