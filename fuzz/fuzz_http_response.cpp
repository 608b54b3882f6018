// The response handling of the HTTP client: the bytes after the first two arrive in pieces whose
// sizes those two choose, and what is taken must not depend on how the bytes were cut. Then the
// redirect the response asks for: the next request's text holds no line that the server wrote.
#include "http/HttpResponse.h"
#include "http/HttpTarget.h"

#include <cstdint>
#include <cstdlib>

namespace {

struct Taken {
    pxt::HttpResponse response;
    bool tooLarge = false;
};

// Feeds the bytes as a connection would: header pieces, then body pieces, then its end.
Taken feed(const char* data, qint64 size, std::uint32_t seed)
{
    Taken t;
    qint64 at = 0;
    while (at < size) {
        qint64 piece = size - at;
        if (seed != 0) {
            seed = seed * 1103515245u + 12345u;
            piece = std::min<qint64>(piece, 1 + (seed >> 16) % 64);
        }
        if (!t.response.headerDone()) {
            qint64 used = 0;
            if (!t.response.takeHeader(data + at, piece, used)) {
                t.tooLarge = true;
                return t;
            }
            if (used < piece)
                t.response.takeBody(data + at + used, piece - used);
        } else {
            t.response.takeBody(data + at, piece);
        }
        at += piece;
    }
    if (!t.response.headerDone())
        t.response.endOfHeader();
    return t;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::uint32_t seed = std::uint32_t(data[0]) << 8 | data[1];
    const char* bytes = reinterpret_cast<const char*>(data) + 2;
    const qint64 length = qint64(size) - 2;

    const Taken whole = feed(bytes, length, 0);
    const Taken cut = feed(bytes, length, seed | 1);
    const pxt::HttpResponse& a = whole.response;
    const pxt::HttpResponse& b = cut.response;
    if (whole.tooLarge != cut.tooLarge || a.header() != b.header() || a.replyNumber() != b.replyNumber()
        || a.contentLength() != b.contentLength() || a.setCookie() != b.setCookie()
        || a.location() != b.location() || a.body() != b.body() || a.receivedBodyBytes() != b.receivedBodyBytes()
        || a.headerDone() != b.headerDone())
        std::abort();
    // Every byte is either header or body.
    if (!whole.tooLarge && a.header().size() + a.receivedBodyBytes() > length)
        std::abort();
    a.statusLine();

    pxt::HttpTarget target;
    target.parse(seed & 1 ? QStringLiteral("https://gallery.example/dir/page.html")
                          : QStringLiteral("http://gallery.example:8080/dir/page.html"));
    const QString next = target.redirect(a.location());
    if (next.isEmpty())
        return 0;
    target.parse(next);
    if (!target.problem().isEmpty())
        return 0;
    const QByteArray request = target.request(a.setCookie());
    const qsizetype lines = a.setCookie().isEmpty() ? 6 : 7;
    if (request.count('\n') != lines || request.count('\r') != lines || request.count("\r\n") != lines
        || !request.endsWith("\r\n\r\n"))
        std::abort();
    return 0;
}
