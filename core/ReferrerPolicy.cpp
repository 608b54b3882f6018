#include "core/ReferrerPolicy.h"

#include <QStringList>

namespace pxt {

namespace {

bool isWebScheme(const QString& scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// Browsers decide the downgrade by the scheme: a plain-http address is never a secure one.
bool isSecureScheme(const QString& scheme)
{
    return scheme == QLatin1String("https") || scheme == QLatin1String("wss");
}

int defaultPort(const QUrl& url) { return url.scheme() == QLatin1String("https") ? 443 : 80; }

bool sameOrigin(const QUrl& a, const QUrl& b)
{
    return a.scheme() == b.scheme() && a.host().compare(b.host(), Qt::CaseInsensitive) == 0
           && a.port(defaultPort(a)) == b.port(defaultPort(b));
}

constexpr qsizetype kMaxReferrerLength = 4096;

} // namespace

ReferrerPolicy referrerPolicyFromToken(QStringView token)
{
    struct Name {
        const char* text;
        ReferrerPolicy policy;
    };
    static const Name names[] = {
        {"no-referrer", ReferrerPolicy::NoReferrer},
        {"no-referrer-when-downgrade", ReferrerPolicy::NoReferrerWhenDowngrade},
        {"same-origin", ReferrerPolicy::SameOrigin},
        {"origin", ReferrerPolicy::Origin},
        {"strict-origin", ReferrerPolicy::StrictOrigin},
        {"origin-when-cross-origin", ReferrerPolicy::OriginWhenCrossOrigin},
        {"strict-origin-when-cross-origin", ReferrerPolicy::StrictOriginWhenCrossOrigin},
        {"unsafe-url", ReferrerPolicy::UnsafeUrl},
    };
    const QStringView t = token.trimmed();
    for (const Name& name : names) {
        if (t.compare(QLatin1String(name.text), Qt::CaseInsensitive) == 0)
            return name.policy;
    }
    return ReferrerPolicy::Unset;
}

ReferrerPolicy referrerPolicyFromMeta(QStringView content)
{
    ReferrerPolicy policy = ReferrerPolicy::Unset;
    for (QStringView token : content.split(QLatin1Char(','))) {
        token = token.trimmed();
        ReferrerPolicy p = referrerPolicyFromToken(token);
        if (p == ReferrerPolicy::Unset) {
            if (token.compare(QLatin1String("never"), Qt::CaseInsensitive) == 0)
                p = ReferrerPolicy::NoReferrer;
            else if (token.compare(QLatin1String("always"), Qt::CaseInsensitive) == 0)
                p = ReferrerPolicy::UnsafeUrl;
            else if (token.compare(QLatin1String("default"), Qt::CaseInsensitive) == 0)
                p = kDefaultReferrerPolicy;
            else if (token.compare(QLatin1String("origin-when-crossorigin"), Qt::CaseInsensitive) == 0)
                p = ReferrerPolicy::OriginWhenCrossOrigin;
        }
        if (p != ReferrerPolicy::Unset)
            policy = p;
    }
    return policy;
}

ReferrerPolicy effectiveReferrerPolicy(ReferrerPolicy element, ReferrerPolicy document)
{
    if (element != ReferrerPolicy::Unset)
        return element;
    return document != ReferrerPolicy::Unset ? document : kDefaultReferrerPolicy;
}

QString referrerFor(const QUrl& page, ReferrerPolicy policy, const QUrl& target)
{
    if (!page.isValid() || page.isRelative() || !isWebScheme(page.scheme()) || page.host().isEmpty()
        || !target.isValid())
        return {};
    QUrl whole = page.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveFragment);
    if (whole.port() == defaultPort(whole))
        whole.setPort(-1);
    QUrl originUrl = whole.adjusted(QUrl::RemovePath | QUrl::RemoveQuery);
    originUrl.setPath(QStringLiteral("/"));
    const QString origin = originUrl.toString(QUrl::FullyEncoded);
    QString full = whole.toString(QUrl::FullyEncoded);
    if (full.size() > kMaxReferrerLength)
        full = origin;
    const bool downgrade = isSecureScheme(page.scheme()) && !isSecureScheme(target.scheme());
    const bool same = sameOrigin(page, target);

    switch (policy == ReferrerPolicy::Unset ? kDefaultReferrerPolicy : policy) {
    case ReferrerPolicy::Unset:
    case ReferrerPolicy::NoReferrer:
        return {};
    case ReferrerPolicy::UnsafeUrl:
        return full;
    case ReferrerPolicy::Origin:
        return origin;
    case ReferrerPolicy::NoReferrerWhenDowngrade:
        return downgrade ? QString() : full;
    case ReferrerPolicy::SameOrigin:
        return same ? full : QString();
    case ReferrerPolicy::StrictOrigin:
        return downgrade ? QString() : origin;
    case ReferrerPolicy::OriginWhenCrossOrigin:
        return same ? full : origin;
    case ReferrerPolicy::StrictOriginWhenCrossOrigin:
        return same ? full : downgrade ? QString() : origin;
    }
    return {};
}

} // namespace pxt
