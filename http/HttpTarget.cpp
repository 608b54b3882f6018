#include "http/HttpTarget.h"

#include <algorithm>
#include <iterator>

namespace pxt {

namespace {

// What goes into the request line: anything a tolerant parse left unencoded (blanks, controls,
// non-ASCII) percent-encoded, so that no address can break the line.
QByteArray requestPath(const QByteArray& path)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    for (char c : path) {
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

// A host fit for the resolver and the Host line: nothing that could end a line or a field.
bool isPlainHost(const QString& host)
{
    if (host.isEmpty())
        return false;
    return std::all_of(host.begin(), host.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return u > 0x20 && u < 0x7f && u != '/' && u != '\\' && u != '@';
    });
}

} // namespace

bool HttpTarget::isRefusedPort(int port)
{
    static constexpr int kRefused[] = {
        0,    1,    7,    9,    11,   13,   15,   17,   19,   20,   21,   22,   23,   25,   37,   42,   43,
        53,   69,   77,   79,   87,   95,   101,  102,  103,  104,  109,  110,  111,  113,  115,  117,  119,
        123,  135,  137,  139,  143,  161,  179,  389,  427,  465,  512,  513,  514,  515,  526,  530,  531,
        532,  540,  548,  554,  556,  563,  587,  601,  636,  989,  990,  993,  995,  1719, 1720, 1723, 2049,
        3659, 4045, 4190, 5060, 5061, 6000, 6566, 6665, 6666, 6667, 6668, 6669, 6679, 6697, 10080};
    return std::find(std::begin(kRefused), std::end(kRefused), port) != std::end(kRefused);
}

void HttpTarget::parse(const QString& text)
{
    m_problem.clear();
    url = text;
    host.clear();
    path.clear();
    const QUrl parsed(text.trimmed());
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        || parsed.host().isEmpty()) {
        m_problem = QStringLiteral("Keine http- oder https-Adresse");
        return;
    }
    tls = scheme == QLatin1String("https");
    defaultPort = tls ? 443 : 80;
    port = parsed.port(defaultPort);
    host = parsed.host(QUrl::EncodeUnicode).toLower();
    if (!isPlainHost(host)) {
        m_problem = QStringLiteral("Host-Lookup fehlgeschlagen");
        return;
    }
    if (isRefusedPort(port)) {
        m_problem = QStringLiteral("Port %1 gesperrt").arg(port);
        return;
    }
    QByteArray target = parsed.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (parsed.hasQuery())
        target += '?' + parsed.query(QUrl::FullyEncoded).toLatin1();
    path = QString::fromLatin1(requestPath(target));
    if (path.size() + 13 > kMaxRequestLine)
        m_problem = QStringLiteral("Anfragezeile zu lang");
    url = address().toString(QUrl::FullyEncoded);
}

QString HttpTarget::redirect(const QString& location) const
{
    const QUrl next = address().resolved(QUrl(location.trimmed()));
    if (!next.isValid() || next.host().isEmpty())
        return {};
    return next.toString(QUrl::FullyEncoded);
}

QString HttpTarget::problem() const { return m_problem; }

QByteArray HttpTarget::hostLine() const
{
    QByteArray line = host.contains(QLatin1Char(':')) ? '[' + host.toLatin1() + ']' : host.toLatin1();
    if (port != defaultPort)
        line += ':' + QByteArray::number(port);
    return line;
}

QUrl HttpTarget::address() const
{
    if (host.isEmpty())
        return {};
    QUrl out(QString::fromLatin1(tls ? "https://" : "http://") + QString::fromLatin1(hostLine()) + path);
    return out;
}

QByteArray HttpTarget::request(const QByteArray& cookie, const QByteArray& referer) const
{
    const auto fits = [](const QByteArray& value) {
        return !value.isEmpty() && !value.contains('\r') && !value.contains('\n') && !value.contains('\0');
    };
    QByteArray text;
    text += "GET " + path.toLatin1() + " HTTP/1.0\r\n";
    text += "Host: " + hostLine() + "\r\n";
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
