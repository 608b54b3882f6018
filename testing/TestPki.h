#pragma once

// A certificate authority and server certificates made for one test or benchmark, in a temporary
// folder: the client trusts the authority through SSL_CERT_FILE, the local server presents the
// certificates.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace pxt::test {

struct TlsIdentity {
    QString certFile; // PEM: the certificate
    QString keyFile;  // PEM: its private key
};

class TestPki {
public:
    TestPki();
    ~TestPki();
    TestPki(const TestPki&) = delete;
    TestPki& operator=(const TestPki&) = delete;

    // The authority's certificate (PEM).
    QString caFile() const;

    enum class Flaw { None, Expired, UnknownAuthority };
    // A server certificate for the names ("localhost", "127.0.0.1": IP addresses become IP entries),
    // signed by the authority; Expired ended an hour ago; UnknownAuthority is signed by another one.
    TlsIdentity server(const QStringList& names, Flaw flaw = Flaw::None);

    // Sets SSL_CERT_FILE to the authority for the object's life; the old value comes back after it.
    class Trust {
    public:
        explicit Trust(const TestPki& pki);
        ~Trust();
        Trust(const Trust&) = delete;
        Trust& operator=(const Trust&) = delete;

    private:
        QByteArray m_old;
        bool m_had = false;
    };

private:
    struct Keys;
    QTemporaryDir m_dir;
    std::unique_ptr<Keys> m_keys;
    int m_count = 0;
};

} // namespace pxt::test
