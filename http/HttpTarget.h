#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace pxt {

// Where a request of the HTTP client goes: an http or https address, parsed as browsers parse it
// (QUrl: a user name and password are never the host, IPv6 literals in brackets work), split into
// what the connection, the request line and the Host line need. Any other address, and a port that
// browsers refuse to reach, is no target: problem() tells why.
struct HttpTarget {
    // A longer request line is an error.
    static constexpr int kMaxRequestLine = 8192;

    QString url;  // the address as redirects left it, without user name, password and fragment
    QString host; // as the resolver takes it: ASCII, an IPv6 address without its brackets
    QString path; // the path and query as the request line carries them
    int port = 0;
    int defaultPort = 80;
    bool tls = false;

    // Takes the address; a missing path is "/".
    void parse(const QString& text);
    // The address a Location leads to from here, resolved against the current address; empty when it
    // leads nowhere.
    QString redirect(const QString& location) const;
    // Why no request can go to the target (the texts the user sees); empty when one can.
    QString problem() const;
    // The host as it goes into the Host line (an IPv6 address in brackets), with the port where it is
    // not the scheme's own.
    QByteArray hostLine() const;
    // The request's text, with a Cookie line and a Referer line where they are given; a value that
    // could end its line is left out.
    QByteArray request(const QByteArray& cookie, const QByteArray& referer = {}) const;
    // The address as a browser's rules for cookies and Referers see it.
    QUrl address() const;

    // The ports browsers refuse to reach (the fetch standard's "bad ports"): other protocols' servers
    // that a web address could otherwise be made to talk to.
    static bool isRefusedPort(int port);

private:
    QString m_problem;
};

} // namespace pxt
