// Saving pictures into a folder without any window: the names, duplicates and writes of PictureFiles,
// and the saver over the network with the user's session, against a local server.
#include "harvest/NetworkPictureSource.h"
#include "harvest/PictureFiles.h"
#include "harvest/PictureSaver.h"
#include "http/BrowserSession.h"
#include "testing/LocalServer.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QNetworkCookie>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <sys/mount.h>
#include <unistd.h>

using namespace pxt;
using namespace pxt::test;

namespace {

const QByteArray kJpeg = QByteArray("\xff\xd8\xff\xe0", 4) + "jpeg body";
const QByteArray kPng = QByteArray("\x89PNG\r\n\x1a\n", 8) + "png body";

QByteArray jpeg(const QByteArray& tag) { return kJpeg + tag; }

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Every file of the folder, hidden ones included: a partial file would show here.
QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// A small tmpfs (root only): a disk that fills, or one that cannot be written at all.
class SmallDisk {
public:
    explicit SmallDisk(const char* options)
    {
        if (::geteuid() == 0 && m_dir.isValid())
            m_mounted = ::mount("tmpfs", m_dir.path().toLocal8Bit().constData(), "tmpfs", 0, options) == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount(m_dir.path().toLocal8Bit().constData());
    }
    bool mounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

} // namespace

TEST(PictureFiles, NamesFromAddresses)
{
    const QString longStem(300, QLatin1Char('a'));
    const QString wideStem = QString(150, QChar(0x65e5)); // 3 bytes each in UTF-8
    struct Case {
        const char* address;
        QString name;
    } cases[] = {
        {"http://g.test/a/sunset.jpg", "sunset.jpg"},
        {"http://g.test/a/sun%20set.jpg?size=big#top", "sun set.jpg"},
        {"http://g.test/%E6%97%A5%E6%9C%AC.jpg", QString::fromUtf8("\xe6\x97\xa5\xe6\x9c\xac.jpg")},
        {"http://g.test/a/b%2Fc%5Cd.jpg", "b_c_d.jpg"},
        {"http://g.test/..%2F..%2Fetc%2Fpasswd", "_.._etc_passwd"},
        {"http://g.test/.hidden.jpg", "hidden.jpg"},
        {"http://g.test/a%00b%0A%7F.jpg", "ab.jpg"},
        {"http://g.test/...", ""},
        {"http://g.test/%2F%2F", ""},
        {"http://g.test/.%2F.", ""},
        {"http://g.test/gallery/", ""},
        {"http://g.test", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PictureFiles::nameFromAddress(QUrl(QString::fromLatin1(c.address))), c.name) << c.address;

    // At most 200 bytes, the extension kept, never half a character.
    const QString cut = PictureFiles::nameFromAddress(QUrl(QStringLiteral("http://g.test/") + longStem + QStringLiteral(".jpg")));
    EXPECT_EQ(cut.toUtf8().size(), 200);
    EXPECT_TRUE(cut.endsWith(QLatin1String("a.jpg")));
    const QString wide = PictureFiles::safeName(wideStem + QStringLiteral(".jpg"));
    EXPECT_LE(wide.toUtf8().size(), 200);
    EXPECT_EQ(wide, QString(65, QChar(0x65e5)) + QStringLiteral(".jpg"));
}

TEST(PictureFiles, ExtensionsFromTheTypeAndWebPages)
{
    struct Case {
        QString name;
        QString contentType;
        QByteArray bytes;
        QString expected;
    } cases[] = {
        {"photo", "image/jpeg", kJpeg, "photo.jpg"},
        {"photo", "image/png; charset=binary", kPng, "photo.png"},
        {"photo.jpg", "image/png", kPng, "photo.jpg"},      // a picture's extension is the name the user knows
        {"photo.JPG", "image/jpeg", kJpeg, "photo.JPG"},
        {"show.php", "image/gif", "GIF89a...", "show.php.gif"},
        {"photo", "application/octet-stream", kPng, "photo.png"}, // the bytes tell
        {"photo", "", "just text", "photo"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PictureFiles::withTypeExtension(c.name, c.contentType, c.bytes), c.expected) << c.name.toStdString();

    EXPECT_TRUE(PictureFiles::isWebPage(QStringLiteral("text/html; charset=utf-8"), kJpeg));
    EXPECT_TRUE(PictureFiles::isWebPage(QStringLiteral("application/octet-stream"), "<!DOCTYPE html><html><body>Login</body></html>"));
    EXPECT_TRUE(PictureFiles::isWebPage(QString(), "<html><head><title>x</title></head></html>"));
    EXPECT_FALSE(PictureFiles::isWebPage(QStringLiteral("image/jpeg"), kJpeg));
    EXPECT_FALSE(PictureFiles::isWebPage(QString(), kPng));

    EXPECT_EQ(PictureFiles::numberedName(QStringLiteral("a.jpg"), 2), "a (2).jpg");
    EXPECT_EQ(PictureFiles::numberedName(QStringLiteral("a"), 13), "a (13)");
    const QString longNumbered = PictureFiles::numberedName(QString(196, QLatin1Char('b')) + QStringLiteral(".jpg"), 2);
    EXPECT_EQ(longNumbered.toUtf8().size(), 200);
    EXPECT_TRUE(longNumbered.endsWith(QLatin1String("b (2).jpg")));
}

TEST(PictureFiles, DuplicatesAndCollisions)
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    using S = PictureFiles::Stored;
    struct Step {
        QByteArray bytes;
        S::Kind kind;
        QString fileName;
    } steps[] = {
        {jpeg("one"), S::Saved, "a.jpg"},
        {jpeg("one"), S::AlreadyThere, "a.jpg"},
        {jpeg("two"), S::Saved, "a (2).jpg"},
        {jpeg("three"), S::Saved, "a (3).jpg"},
        {jpeg("two"), S::AlreadyThere, "a (2).jpg"},
    };
    for (const Step& s : steps) {
        const S stored = PictureFiles::store(folder, QStringLiteral("a.jpg"), s.bytes);
        EXPECT_EQ(stored.kind, s.kind) << s.bytes.toStdString();
        EXPECT_EQ(stored.fileName, s.fileName) << s.bytes.toStdString();
        EXPECT_EQ(stored.failure, QString());
    }
    EXPECT_EQ(filesIn(folder), QStringList({"a (2).jpg", "a (3).jpg", "a.jpg"}));
    EXPECT_EQ(readFile(folder + QStringLiteral("/a (3).jpg")), jpeg("three"));
    // Readable as the user's umask makes new files, not kept to the owner as the part file was.
    const mode_t mask = ::umask(022);
    EXPECT_EQ(PictureFiles::store(folder, QStringLiteral("shared.jpg"), jpeg("shared")).kind, S::Saved);
    ::umask(mask);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(folder + QStringLiteral("/shared.jpg")).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    QFile::remove(folder + QStringLiteral("/shared.jpg"));

    // A numbered copy past a gap is found; a new picture takes the gap.
    QFile::remove(folder + QStringLiteral("/a (2).jpg"));
    EXPECT_EQ(PictureFiles::store(folder, QStringLiteral("a.jpg"), jpeg("three")).fileName, "a (3).jpg");
    EXPECT_EQ(PictureFiles::store(folder, QStringLiteral("a.jpg"), jpeg("four")).fileName, "a (2).jpg");
    // A name that only looks numbered is another picture's.
    QFile::copy(folder + QStringLiteral("/a (3).jpg"), folder + QStringLiteral("/b (x).jpg"));
    EXPECT_EQ(PictureFiles::store(folder, QStringLiteral("b.jpg"), jpeg("three")).kind, S::Saved);
}

TEST(PictureFiles, FullDiskAndUnwritableFolder)
{
    SmallDisk full("size=64k");
    if (!full.mounted())
        GTEST_SKIP() << "needs root to mount a small tmpfs";
    const PictureFiles::Stored big = PictureFiles::store(full.path(), QStringLiteral("big.jpg"), jpeg(QByteArray(200 * 1024, 'x')));
    EXPECT_EQ(big.kind, PictureFiles::Stored::Failed);
    EXPECT_EQ(big.failure, "disk full");
    EXPECT_EQ(filesIn(full.path()), QStringList()); // nothing partial left
    // The next picture that fits is saved.
    EXPECT_EQ(PictureFiles::store(full.path(), QStringLiteral("small.jpg"), jpeg("s")).kind, PictureFiles::Stored::Saved);

    SmallDisk readOnly("ro,size=64k");
    ASSERT_TRUE(readOnly.mounted());
    EXPECT_TRUE(PictureFiles::folderProblem(readOnly.path()).startsWith(QLatin1String("the folder cannot be written")));
    EXPECT_EQ(PictureFiles::folderProblem(readOnly.path() + QStringLiteral("/new")), "the folder cannot be made");
    QTemporaryDir dir;
    EXPECT_EQ(PictureFiles::folderProblem(dir.path() + QStringLiteral("/made/here")), QString());
    EXPECT_TRUE(QFileInfo(dir.path() + QStringLiteral("/made/here")).isDir());
}

namespace {

// A gallery's picture server: what each path answers, with the session's checks of a real host.
Script answer(const QByteArray& request)
{
    const QByteArray path = requestPath(request);
    const auto ok = [](const QByteArray& body, const QByteArray& type = "image/jpeg") { return Script {send(okResponse(body, type))}; };
    const auto status = [](const QByteArray& line) { return Script {send("HTTP/1.0 " + line + "\r\nContent-Length: 0\r\n\r\n")}; };
    if (path == "/a/sunset.jpg" || path == "/b/sunset.jpg")
        return ok(jpeg("sunset"));
    if (path == "/c/sunset.jpg")
        return ok(jpeg("another sunset"));
    if (path == "/missing.jpg")
        return status("404 Not Found");
    if (path == "/login.jpg")
        return ok("<!DOCTYPE html><html><body>Please log in</body></html>", "text/html");
    if (path == "/loop.jpg")
        return {send("HTTP/1.0 302 Found\r\nLocation: /loop.jpg\r\nContent-Length: 0\r\n\r\n")};
    if (path == "/moved.jpg")
        return {send("HTTP/1.0 301 Moved\r\nLocation: /stored/real.jpg\r\nContent-Length: 0\r\n\r\n")};
    if (path == "/stored/real.jpg")
        return request.contains("\r\nReferer: http://127.0.0.1") ? ok(jpeg("moved")) : status("403 Forbidden");
    if (path == "/%2F..%2F")
        return ok(kPng, "image/png");
    if (path == "/show.php?id=7")
        return ok(kPng, "image/png");
    if (path == "/members/secret.jpg")
        return request.contains("\r\nCookie: sid=42") ? ok(jpeg("secret")) : status("403 Forbidden");
    if (path == "/hotlink/protected.jpg")
        return request.contains("\r\nReferer: http://127.0.0.1") ? ok(jpeg("protected")) : status("403 Forbidden");
    if (path == "/empty.jpg")
        return ok({});
    if (path == "/huge.jpg")
        return {send("HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: 2147483648\r\n\r\n" + kJpeg), hold()};
    if (path.startsWith("/slow/"))
        return {pause(60000), send(okResponse(jpeg(path), "image/jpeg"))};
    return status("404 Not Found");
}

} // namespace

TEST(PictureSaver, SavesWithTheSessionAndTellsEachFailure)
{
    LocalServer server([](int, const QByteArray& request) { return answer(request); });
    const auto at = [&](const char* path) { return QUrl(server.url(QString::fromLatin1(path))); };
    BrowserSession session;
    QNetworkCookie cookie("sid", "42");
    cookie.setDomain(QStringLiteral("127.0.0.1"));
    cookie.setPath(QStringLiteral("/members"));
    session.addCookies({cookie});
    const QString gallery = server.url(QStringLiteral("/gallery.html"));
    session.addReferer(server.url(QStringLiteral("/hotlink/protected.jpg")), gallery);

    NetworkPictureSource source(&session);
    PictureSaver saver(source);
    QStringList progress;
    saver.onProgress = [&](int n, int count, const QString& name) { progress << QStringLiteral("%1/%2 %3").arg(n).arg(count).arg(name); };
    bool finished = false;
    saver.onFinished = [&](const PictureSaver::Outcome&) { finished = true; };

    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/Gallery");
    const QList<PictureToSave> pictures = {
        {at("/a/sunset.jpg"), {}},
        {at("/b/sunset.jpg"), {}},                   // the same bytes: there already
        {at("/c/sunset.jpg"), {}},                   // another picture of that name
        {at("/missing.jpg"), {}},
        {at("/login.jpg"), {}},
        {at("/loop.jpg"), {}},
        {at("/%2F..%2F"), {}},                       // nothing of its name is usable
        {at("/show.php?id=7"), {}},
        {at("/members/secret.jpg"), QUrl(gallery)},  // behind the session's cookie, asked for in the gallery's name
        {at("/hotlink/protected.jpg"), {}},          // behind a Referer check, the session's page
        {at("/moved.jpg"), QUrl(gallery)},           // the page it was found on gives the Referer, also after a redirect
        {at("/huge.jpg"), {}},                       // more than memory should hold
        {at("/empty.jpg"), {}},
    };
    ASSERT_TRUE(saver.start(pictures, folder, 3));
    ASSERT_TRUE(waitUntil([&] { return finished; }, 30000));

    const PictureSaver::Outcome& outcome = saver.outcome();
    EXPECT_FALSE(saver.running());
    EXPECT_FALSE(outcome.stopped);
    EXPECT_EQ(outcome.count, 13);
    EXPECT_EQ(outcome.saved, 7);
    EXPECT_EQ(outcome.alreadyThere, 1);
    QStringList failures = outcome.failures;
    failures.sort();
    EXPECT_EQ(failures, QStringList({"empty.jpg: the answer was empty", "huge.jpg: larger than 1024 MB",
                                     "login.jpg: a web page came instead of a picture",
                                     "loop.jpg: too many redirects", "missing.jpg: 404 Not Found"}));
    EXPECT_EQ(outcome.renamed, QStringList({at("/%2F..%2F").toDisplayString() + ": no usable file name, saved as picture.png"}));
    EXPECT_EQ(progress.size(), 13);
    EXPECT_EQ(progress.first(), "1/13 sunset.jpg");

    EXPECT_EQ(filesIn(folder), QStringList({"moved.jpg", "picture.png", "protected.jpg", "secret.jpg", "show.php.png",
                                            "sunset (2).jpg", "sunset.jpg"}));
    EXPECT_EQ(readFile(folder + QStringLiteral("/sunset.jpg")), jpeg("sunset"));
    EXPECT_EQ(readFile(folder + QStringLiteral("/sunset (2).jpg")), jpeg("another sunset"));
    EXPECT_EQ(readFile(folder + QStringLiteral("/secret.jpg")), jpeg("secret"));
    EXPECT_EQ(readFile(folder + QStringLiteral("/protected.jpg")), jpeg("protected"));
    EXPECT_EQ(readFile(folder + QStringLiteral("/moved.jpg")), jpeg("moved"));

    // Saving the same again finds every picture there already.
    finished = false;
    ASSERT_TRUE(saver.start(pictures.mid(0, 3), folder, 2));
    ASSERT_TRUE(waitUntil([&] { return finished; }, 30000));
    EXPECT_EQ(saver.outcome().saved, 0);
    EXPECT_EQ(saver.outcome().alreadyThere, 3);
}

TEST(PictureSaver, WithoutTheLoginNothingOfTheSessionGoesOut)
{
    LocalServer server([](int, const QByteArray& request) { return answer(request); });
    BrowserSession session;
    QNetworkCookie cookie("sid", "42");
    cookie.setDomain(QStringLiteral("127.0.0.1"));
    session.addCookies({cookie});
    session.addReferer(server.url(QStringLiteral("/hotlink/protected.jpg")), server.url(QStringLiteral("/gallery.html")));
    session.setEnabled(false);

    const PictureToSave picture {QUrl(server.url(QStringLiteral("/hotlink/protected.jpg"))), QUrl(server.url(QStringLiteral("/g.html")))};
    EXPECT_EQ(sessionLines(&session, picture, picture.address).referer, QByteArray());
    NetworkPictureSource source(&session);
    PictureSaver saver(source);
    QTemporaryDir dir;
    bool finished = false;
    saver.onFinished = [&](const PictureSaver::Outcome&) { finished = true; };
    saver.start({picture}, dir.path(), 1);
    ASSERT_TRUE(waitUntil([&] { return finished; }));
    EXPECT_EQ(saver.outcome().failures, QStringList({"protected.jpg: 403 Forbidden"}));
    for (const QByteArray& request : server.requests()) {
        EXPECT_FALSE(request.contains("Cookie:"));
        EXPECT_FALSE(request.contains("Referer:"));
    }
}

TEST(PictureSaver, StopLeavesNoPartialFileAndAnUnwritableFolderFetchesNothing)
{
    LocalServer server([](int, const QByteArray& request) { return answer(request); });
    NetworkPictureSource source(nullptr);
    PictureSaver saver(source);
    bool finished = false;
    saver.onFinished = [&](const PictureSaver::Outcome&) { finished = true; };
    QTemporaryDir dir;
    QList<PictureToSave> pictures = {{QUrl(server.url(QStringLiteral("/a/sunset.jpg"))), {}}};
    for (int i = 0; i < 6; ++i)
        pictures.append({QUrl(server.url(QStringLiteral("/slow/%1.jpg").arg(i))), {}});
    ASSERT_TRUE(saver.start(pictures, dir.path(), 2));
    EXPECT_FALSE(saver.start(pictures, dir.path(), 2)); // one run at a time
    ASSERT_TRUE(waitUntil([&] { return saver.outcome().saved == 1 && server.requests().size() >= 3; }));
    saver.stop();
    EXPECT_TRUE(finished);
    EXPECT_TRUE(saver.outcome().stopped);
    EXPECT_EQ(filesIn(dir.path()), QStringList({"sunset.jpg"}));

    // A folder under a file cannot be made: the run ends at once with that one line.
    const QString file = dir.path() + QStringLiteral("/sunset.jpg");
    finished = false;
    const std::size_t asked = server.requests().size();
    ASSERT_TRUE(saver.start(pictures, file + QStringLiteral("/sub"), 2));
    EXPECT_TRUE(finished);
    EXPECT_EQ(saver.outcome().failures, QStringList({file + QStringLiteral("/sub: the folder cannot be made")}));
    EXPECT_EQ(server.requests().size(), asked);
}
