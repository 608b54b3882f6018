// The addresses of a gallery's links, on their way through a harvest and a grab: an href resolved
// against the page as the model of a page parsed from text resolves it, the live link filter, the
// link's file name and the file-type test, and the request of the HTTP client for it and for where a
// redirect to the href leads.
//
// The text is lines: the page's address, the file types, the filter lines (separated by "|"; a
// leading "!" turns the filter off), then the hrefs as the page writes them.
#include "core/AsciiText.h"
#include "dom/DocumentBuilder.h"
#include "harvest/LinkHelpers.h"
#include "http/HttpTarget.h"
#include "settings/Settings.h"

#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr qsizetype kMaxLinks = 64;

[[noreturn]] void fail(const char* what, const QString& about)
{
    std::fprintf(stderr, "%s\n  %s\n", what, qPrintable(about));
    std::abort();
}

bool isWeb(const QUrl& url)
{
    return (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) && !url.host().isEmpty();
}

// Resolving is done once: an address it made is taken back as it is.
void checkResolved(const QUrl& base, const QString& href, const QString& resolved)
{
    if (resolved == href)
        return;
    const QString about = QStringLiteral("href: %1\n  resolved: %2").arg(href, resolved);
    if (!std::all_of(resolved.begin(), resolved.end(), [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7f; }))
        fail("a resolved address with a blank, a control or a character beyond ASCII", about);
    // A page's address is absolute; a relative one only tries the rest.
    const QUrl url(resolved);
    if (!base.isRelative() && (!url.isValid() || url.isRelative()))
        fail("a resolved address that is no absolute address", about);
    if (isWeb(url) && pxt::resolveAddress(base, resolved) != resolved)
        fail("a resolved web address resolves to another", about + QStringLiteral("\n  again: ") + pxt::resolveAddress(base, resolved));
}

void checkName(const QString& link, const pxt::Settings& settings)
{
    const QString kept = pxt::applyLinkFilter(link, settings);
    const QStringList lines = settings.linkFilterLines();
    const bool excluded = settings.linkFilterEnabled()
                          && std::any_of(lines.begin(), lines.end(),
                                         [&](const QString& l) { return !l.isEmpty() && link.contains(l); });
    if (kept != (excluded ? QString() : link))
        fail("the link filter keeps a link a line excludes, or excludes another", link);

    const QString name = pxt::linkFileName(link);
    const qsizetype slash = link.lastIndexOf(QLatin1Char('/'));
    if (name.contains(QLatin1Char('/')) || (slash < 0 ? !name.isEmpty() : link.mid(slash + 1) != name))
        fail("a file name that is not what follows the link's last slash", link);

    // The file-type test ignores ASCII case; a name's own extension is a type it has.
    const QString types = settings.fileTypes();
    const bool matches = pxt::matchesFileType(name, types);
    if (matches != pxt::matchesFileType(pxt::asciiUpper(name), types)
        || matches != pxt::matchesFileType(name, pxt::asciiUpper(types)) || matches != pxt::matchesFileType(name, settings))
        fail("the file-type test depends on case, or on where its types come from", name + QStringLiteral(" in ") + types);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const bool extension = dot >= 0 && name.indexOf(QLatin1Char('\\'), dot) < 0 && name.indexOf(QLatin1Char(':'), dot) < 0;
    const QString ext = extension ? name.mid(dot + 1) : name;
    if (!ext.isEmpty() && !pxt::matchesFileType(name, ext))
        fail("a name whose extension is not a type it has", name);
    if (matches && !pxt::asciiUpper(types).contains(pxt::asciiUpper(ext)))
        fail("a name that matches file types that do not hold its extension", name + QStringLiteral(" in ") + types);
}

// The request's text is its request line, its fields, each with a value that cannot end it, and the
// empty line: every line ends with CR LF, and no value adds one.
void checkRequest(const pxt::HttpTarget& target, const QByteArray& cookie, const QByteArray& referer)
{
    if (!target.problem().isEmpty())
        return;
    const QByteArray request = target.request(cookie, referer);
    const auto fits = [](const QByteArray& v) { return !v.isEmpty() && !v.contains('\r') && !v.contains('\n') && !v.contains('\0'); };
    const qsizetype lines = 6 + (fits(cookie) ? 1 : 0) + (fits(referer) ? 1 : 0);
    const QString about = QStringLiteral("address: %1\n  request:\n%2").arg(target.url, QString::fromLatin1(request));
    if (request.count("\r\n") != lines || request.count('\r') != lines || request.count('\n') != lines
        || !request.endsWith("\r\n\r\n") || request.contains('\0'))
        fail("a request whose lines are not its own", about);
    const QList<QByteArray> requestLine = request.left(request.indexOf("\r\n")).split(' ');
    if (requestLine.size() != 3 || requestLine[0] != "GET" || !requestLine[2].startsWith("HTTP/"))
        fail("a request line that is not a method, a path and a version", about);
    // The cookies are those of the address: its host is where the request goes.
    const QUrl address = target.address();
    QUrl host;
    host.setHost(target.host);
    if (address.host() != host.host() || host.host().isEmpty())
        fail("the address the cookies are matched against names another host than the request", about);
    if (address.port(target.tls ? 443 : 80) != target.port)
        fail("the address the cookies are matched against names another port than the request", about);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QStringList lines = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)).split(QLatin1Char('\n'));
    if (lines.size() < 3)
        return 0;
    const QString page = lines[0];
    pxt::Settings settings;
    pxt::SnapshotValues values;
    values.fileTypes = lines[1];
    settings.takeSnapshot(values);
    QString filter = lines[2];
    settings.plainLinkFilter().enabled = !filter.startsWith(QLatin1Char('!'));
    if (!settings.plainLinkFilter().enabled)
        filter.remove(0, 1);
    settings.plainLinkFilter().lines = filter.split(QLatin1Char('|'));

    const QUrl base = pxt::pageUrl(page);
    for (qsizetype i = 3; i < std::min(lines.size(), kMaxLinks + 3); ++i) {
        const QString& href = lines[i];
        const QString resolved = pxt::resolveAddress(base, href);
        checkResolved(base, href, resolved);
        checkName(resolved, settings);

        if (!isWeb(QUrl(resolved)))
            continue;
        pxt::HttpTarget target;
        target.parse(resolved);
        checkRequest(target, href.toUtf8(), page.toLatin1());
        // The request goes to the host of the address it was given, never to its user name.
        if (target.problem().isEmpty() && target.host != QUrl(resolved).host(QUrl::EncodeUnicode).toLower())
            fail("a request that goes to another host than its address names", resolved + QStringLiteral(" -> ") + target.host);
        // A Location that is the href, from the resolved address.
        const QString next = target.redirect(href);
        if (next.isEmpty())
            continue;
        target.parse(next);
        checkRequest(target, QByteArrayLiteral("a=1"), resolved.toLatin1());
    }
    return 0;
}
