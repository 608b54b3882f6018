#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

namespace pxt {

// The registrable domain of a host (ASCII, lower case): its public suffix and the label before it;
// the host itself where it is an IP address, a single label or a public suffix.
QString registrableDomain(const QString& host);

// The domains a cookie sent to the host may name: the host and each domain above it down to its
// registrable domain, each with and without the leading dot of a domain cookie.
QStringList cookieDomainsOf(const QString& host);

// A site as browsers judge SameSite cookies: the scheme and the registrable domain of the host (the
// host itself where it is an IP address, a single label or a public suffix), by the public suffix
// list. Empty for an address that is not http or https or has no host.
QString siteOf(const QUrl& url);

// A request of target made in the name of page is same-site: both have a site and it is the same.
bool isSameSite(const QUrl& page, const QUrl& target);

} // namespace pxt
