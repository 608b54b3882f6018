#include "http/HttpTarget.h"

#include <QUrl>

namespace pxt {

namespace {

// The position of the n-th (1-based) slash, or -1.
qsizetype nthSlash(const QString& text, int n)
{
    qsizetype at = -1;
    for (int i = 0; i < n; ++i) {
        at = text.indexOf(QLatin1Char('/'), at + 1);
        if (at < 0)
            return -1;
    }
    return at;
}

// The path as it goes into the request line: blanks, controls and non-ASCII characters percent-encoded,
// so that no address can break the line.
QByteArray requestPath(const QString& path)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    for (char c : path.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f) {
            out.append('%');
            out.append(hex[u >> 4]);
            out.append(hex[u & 15]);
        } else {
            out.append(c);
        }
    }
    return out;
}

// A host name as it goes to the resolver and into the Host line: ASCII (international names in their
// ACE form) and nothing that could end a line or a field; empty when there is no such form.
QByteArray aceHost(const QString& host)
{
    const QByteArray ace = QUrl::toAce(host);
    for (char c : ace) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f || c == '/' || c == '\\')
            return {};
    }
    return ace;
}

} // namespace

QByteArray HttpTarget::asciiHost() const
{
    return aceHost(host);
}

void HttpTarget::parse(const QString& address)
{
    url = address;
    if (port == 0)
        port = 80;

    const bool hasDoubleSlash = url.contains(QLatin1String("//"));
    const qsizetype firstSlash = url.indexOf(QLatin1Char('/'));
    if (hasDoubleSlash) {
        const qsizetype third = nthSlash(url, 3);
        path = third >= 0 ? url.mid(third) : QString();
    } else {
        path = firstSlash >= 0 ? url.mid(firstSlash) : QString();
    }

    // A colon names a scheme only before the first slash: "/a:b" is a path.
    const qsizetype colon = url.indexOf(QLatin1Char(':'));
    if (colon >= 0 && (firstSlash < 0 || colon < firstSlash)) {
        const QString scheme = url.left(colon).toLower();
        tls = scheme == QLatin1String("https");
        if (tls)
            defaultPort = 443;
        else if (scheme == QLatin1String("gopher"))
            defaultPort = 70;
        else if (scheme == QLatin1String("ftp"))
            defaultPort = 21;
        else
            defaultPort = 80;
        port = defaultPort;
    }

    QString hostPart;
    if (hasDoubleSlash) {
        const qsizetype second = nthSlash(url, 2);
        const qsizetype third = nthSlash(url, 3);
        hostPart = url.mid(second + 1, third >= 0 ? third - second - 1 : -1);
    } else if (!url.startsWith(QLatin1Char('/'))) {
        hostPart = firstSlash >= 0 ? url.left(firstSlash) : url;
    }
    const qsizetype portColon = hostPart.indexOf(QLatin1Char(':'));
    if (portColon >= 0) {
        bool ok = false;
        const int given = hostPart.mid(portColon + 1).toInt(&ok, 10);
        if (ok && given > 0 && given <= 65535)
            port = given;
        hostPart.truncate(portColon);
    }
    if (!hostPart.isEmpty())
        host = hostPart;

    if (path.isEmpty()) {
        path = QStringLiteral("/");
        url += QLatin1Char('/');
    }
}

// An absolute Location is taken as it is; any other resolves against the current address.
QString HttpTarget::redirect(const QString& location) const
{
    if (location.contains(QLatin1String("://")))
        return QUrl(location).host().isEmpty() ? QString() : location;
    QString server = QString::fromLatin1(asciiHost());
    if (port != (tls ? 443 : 80))
        server += QLatin1Char(':') + QString::number(port);
    const QUrl base(QString::fromLatin1(tls ? "https://" : "http://") + server
                    + QString::fromLatin1(requestPath(path)));
    const QUrl next = base.resolved(QUrl(location));
    if (!next.isValid() || next.host().isEmpty())
        return {};
    return next.toString(QUrl::FullyEncoded);
}

QString HttpTarget::problem() const
{
    if (asciiHost().isEmpty())
        return QStringLiteral("Host-Lookup fehlgeschlagen");
    if (requestPath(path).size() + 13 > kMaxRequestLine)
        return QStringLiteral("Anfragezeile zu lang");
    return {};
}

QUrl HttpTarget::address() const
{
    QUrl url(QString::fromLatin1(tls ? "https://" : "http://") + QString::fromLatin1(asciiHost())
             + QString::fromLatin1(requestPath(path)));
    if (port != defaultPort)
        url.setPort(port);
    return url;
}

QByteArray HttpTarget::request(const QByteArray& cookie, const QByteArray& referer) const
{
    const auto fits = [](const QByteArray& value) {
        return !value.isEmpty() && !value.contains('\r') && !value.contains('\n') && !value.contains('\0');
    };
    QByteArray server = asciiHost();
    if (port != defaultPort)
        server += ':' + QByteArray::number(port);
    QByteArray text;
    text += "GET " + requestPath(path) + " HTTP/1.0\r\n";
    text += "Host: " + server + "\r\n";
    text += "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n";
    text += "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n";
    if (fits(cookie))
        text += "Cookie: " + cookie + "\r\n";
    if (fits(referer))
        text += "Referer: " + referer + "\r\n";
    text += "Content-type: application/x-www-form-urlencoded\r\n";
    text += "\r\n";
    return text;
}

} // namespace pxt
