#include "http/Site.h"

#include "core/WebAddress.h"

#include <QHostAddress>

#include <libpsl.h>

namespace pxt {

namespace {

// The list the system keeps up to date where there is one, else the library's own copy.
const psl_ctx_t* suffixList()
{
    static const psl_ctx_t* const list = [] {
        const psl_ctx_t* latest = psl_latest(nullptr);
        return latest ? latest : psl_builtin();
    }();
    return list;
}

} // namespace

QString registrableDomain(const QString& host)
{
    const QString lower = host.toLower();
    // The list would read the last labels of an IPv4 address as a domain.
    if (lower.isEmpty() || QHostAddress().setAddress(lower) || !suffixList())
        return lower;
    const QByteArray ace = lower.toLatin1();
    const char* registrable = psl_registrable_domain(suffixList(), ace.constData());
    return registrable ? QString::fromLatin1(registrable) : lower;
}

QStringList cookieDomainsOf(const QString& host)
{
    const QString lower = host.toLower();
    const QString last = registrableDomain(lower);
    QStringList domains;
    for (QString domain = lower; !domain.isEmpty();) {
        domains << domain << QLatin1Char('.') + domain;
        if (domain == last || !domain.endsWith(last))
            break;
        domain = domain.mid(domain.indexOf(QLatin1Char('.')) + 1);
    }
    return domains;
}

QString siteOf(const QUrl& url)
{
    if (!isWebAddress(url))
        return {};
    return url.scheme() + QLatin1String("://") + registrableDomain(url.host(QUrl::EncodeUnicode));
}

bool isSameSite(const QUrl& page, const QUrl& target)
{
    const QString site = siteOf(page);
    return !site.isEmpty() && site == siteOf(target);
}

} // namespace pxt
