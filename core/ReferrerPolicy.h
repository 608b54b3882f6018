#pragma once

#include <QString>
#include <QStringView>
#include <QUrl>

namespace pxt {

// The rules by which a browser names the page a request comes from (its Referer line).
enum class ReferrerPolicy {
    Unset, // nothing given: the document's policy applies, and without one the default
    NoReferrer,
    NoReferrerWhenDowngrade,
    SameOrigin,
    Origin,
    StrictOrigin,
    OriginWhenCrossOrigin,
    StrictOriginWhenCrossOrigin,
    UnsafeUrl,
};

// A browser's default where neither the page nor the element says otherwise.
constexpr ReferrerPolicy kDefaultReferrerPolicy = ReferrerPolicy::StrictOriginWhenCrossOrigin;

// One policy token, as an element's referrerpolicy attribute holds it (ASCII case-insensitive);
// Unset for an empty or unknown one.
ReferrerPolicy referrerPolicyFromToken(QStringView token);
// The content of a <meta name="referrer">: a comma-separated list whose last known token wins, the
// legacy words ("never", "always", "default", "origin-when-crossorigin") included; Unset when none.
ReferrerPolicy referrerPolicyFromMeta(QStringView content);
// The policy that decides: the first one given, else the default.
ReferrerPolicy effectiveReferrerPolicy(ReferrerPolicy element, ReferrerPolicy document);

// The Referer a browser sends with a request of target made by page under the policy; empty when it
// sends none. Only web pages are named, never with their user name, password or fragment; the origin
// alone where the policy asks for it or the whole address would be over 4096 characters; nothing from
// https to a plain-http address under the policies that forbid it.
QString referrerFor(const QUrl& page, ReferrerPolicy policy, const QUrl& target);

} // namespace pxt
