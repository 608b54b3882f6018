#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace pxt {

// Where a request of the HTTP client goes: the address as redirects left it, split into what the
// connection, the request line and the Host line need. The port stays from one address to the next,
// so that an address made only of a path goes to the same server.
struct HttpTarget {
    // A longer request line is an error.
    static constexpr int kMaxRequestLine = 8192;

    QString url;
    QString host;
    QString path;
    int port = 0;
    int defaultPort = 80;
    bool tls = false;

    // Takes the address: 0 as port becomes 80; a scheme or a port in the address replaces it; a
    // missing path is "/".
    void parse(const QString& address);
    // The address a Location leads to from here; empty when it leads nowhere.
    QString redirect(const QString& location) const;
    // Why no request can go to the target (the texts the user sees); empty when one can.
    QString problem() const;
    // The host as it goes to the resolver and into the Host line: ASCII, nothing that could end a
    // line or a field; empty when the host has no such form.
    QByteArray asciiHost() const;
    // The request's text, with a Cookie line and a Referer line where they are given; a value that
    // could end its line is left out.
    QByteArray request(const QByteArray& cookie, const QByteArray& referer = {}) const;
    // The address as a browser's rules for cookies and Referers see it.
    QUrl address() const;
};

} // namespace pxt
