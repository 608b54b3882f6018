// The Referer a browser sends, by the page's and the element's referrer policy.
#include "core/ReferrerPolicy.h"

#include <gtest/gtest.h>

using namespace pxt;

TEST(ReferrerPolicy, TokensAndMetaContent)
{
    struct Case {
        const char* text;
        ReferrerPolicy token;
        ReferrerPolicy meta;
    };
    using P = ReferrerPolicy;
    const Case cases[] = {
        {"", P::Unset, P::Unset},
        {"no-referrer", P::NoReferrer, P::NoReferrer},
        {" Unsafe-URL ", P::UnsafeUrl, P::UnsafeUrl},
        {"strict-origin-when-cross-origin", P::StrictOriginWhenCrossOrigin, P::StrictOriginWhenCrossOrigin},
        {"same-origin", P::SameOrigin, P::SameOrigin},
        {"origin", P::Origin, P::Origin},
        {"strict-origin", P::StrictOrigin, P::StrictOrigin},
        {"origin-when-cross-origin", P::OriginWhenCrossOrigin, P::OriginWhenCrossOrigin},
        {"no-referrer-when-downgrade", P::NoReferrerWhenDowngrade, P::NoReferrerWhenDowngrade},
        {"bogus", P::Unset, P::Unset},
        // The meta's list: the last known token wins; the legacy words count there only.
        {"no-referrer, unsafe-url", P::Unset, P::UnsafeUrl},
        {"origin,bogus", P::Unset, P::Origin},
        {"never", P::Unset, P::NoReferrer},
        {"always", P::Unset, P::UnsafeUrl},
        {"default", P::Unset, P::StrictOriginWhenCrossOrigin},
        {"origin-when-crossorigin", P::Unset, P::OriginWhenCrossOrigin},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(referrerPolicyFromToken(QString::fromLatin1(c.text)), c.token);
        EXPECT_EQ(referrerPolicyFromMeta(QString::fromLatin1(c.text)), c.meta);
    }
    EXPECT_EQ(effectiveReferrerPolicy(P::Unset, P::Unset), P::StrictOriginWhenCrossOrigin);
    EXPECT_EQ(effectiveReferrerPolicy(P::Unset, P::Origin), P::Origin);
    EXPECT_EQ(effectiveReferrerPolicy(P::NoReferrer, P::Origin), P::NoReferrer);
}

TEST(ReferrerPolicy, TheRefererOfARequest)
{
    struct Case {
        ReferrerPolicy policy;
        const char* page;
        const char* target;
        const char* referer;
    };
    using P = ReferrerPolicy;
    const char* gallery = "https://u:pw@127.0.0.1:8443/album.html?key=s3cret#top";
    const char* whole = "https://127.0.0.1:8443/album.html?key=s3cret";
    const char* origin = "https://127.0.0.1:8443/";
    const char* sameSite = "https://127.0.0.1:8443/t1.jpg";
    const char* otherSite = "https://localhost:8443/t1.jpg";
    const char* plain = "http://127.0.0.1:8443/t1.jpg";
    const Case cases[] = {
        // The default: whole to the page's origin, the origin to other https sites, nothing to http.
        {P::Unset, gallery, sameSite, whole},
        {P::Unset, gallery, otherSite, origin},
        {P::Unset, gallery, plain, ""},
        {P::StrictOriginWhenCrossOrigin, gallery, "https://127.0.0.1:9443/t1.jpg", origin}, // another port
        {P::StrictOriginWhenCrossOrigin, "http://g.test/a/b.html", "http://g.test/a/t.jpg", "http://g.test/a/b.html"},
        {P::StrictOriginWhenCrossOrigin, "http://g.test/a/b.html", "https://cdn.test/t.jpg", "http://g.test/"},
        {P::StrictOriginWhenCrossOrigin, "http://g.test:80/b.html", "http://G.TEST/t.jpg", "http://g.test/b.html"},
        {P::NoReferrer, gallery, sameSite, ""},
        {P::UnsafeUrl, gallery, otherSite, whole},
        {P::UnsafeUrl, gallery, plain, whole},
        {P::NoReferrerWhenDowngrade, gallery, otherSite, whole},
        {P::NoReferrerWhenDowngrade, gallery, plain, ""},
        {P::SameOrigin, gallery, sameSite, whole},
        {P::SameOrigin, gallery, otherSite, ""},
        {P::Origin, gallery, sameSite, origin},
        {P::Origin, gallery, plain, origin},
        {P::StrictOrigin, gallery, otherSite, origin},
        {P::StrictOrigin, gallery, plain, ""},
        {P::OriginWhenCrossOrigin, gallery, sameSite, whole},
        {P::OriginWhenCrossOrigin, gallery, plain, origin},
        // Only web pages are named.
        {P::UnsafeUrl, "file:///home/u/thumbs.html", plain, ""},
        {P::UnsafeUrl, "", plain, ""},
        {P::UnsafeUrl, "/album.html", plain, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.page) + " -> " + c.target + " policy " + std::to_string(int(c.policy)));
        EXPECT_EQ(referrerFor(QUrl(QString::fromLatin1(c.page)), c.policy, QUrl(QString::fromLatin1(c.target))),
                  QString::fromLatin1(c.referer));
    }
}

TEST(ReferrerPolicy, AnAddressOver4096CharactersGoesAsItsOrigin)
{
    const QUrl page(QStringLiteral("https://g.test/a.html?") + QString(5000, QLatin1Char('x')));
    EXPECT_EQ(referrerFor(page, ReferrerPolicy::UnsafeUrl, QUrl(QStringLiteral("https://g.test/t.jpg"))),
              "https://g.test/");
}
