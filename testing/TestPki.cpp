#include "testing/TestPki.h"

#include <QHostAddress>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <stdexcept>

namespace pxt::test {

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct CertFree {
    void operator()(X509* x) const { X509_free(x); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Cert = std::unique_ptr<X509, CertFree>;

void check(bool ok, const char* what)
{
    if (!ok)
        throw std::runtime_error(std::string("test certificates: ") + what);
}

Key newKey()
{
    Key k(EVP_EC_gen("P-256"));
    check(bool(k), "key");
    return k;
}

void addExtension(X509* cert, X509* issuer, int nid, const QByteArray& value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.constData());
    check(ext != nullptr, "extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

// issuer null: self-signed.
Cert newCert(EVP_PKEY* key, const QByteArray& commonName, X509* issuer, EVP_PKEY* issuerKey, long serial,
             long fromSeconds, long toSeconds)
{
    Cert x(X509_new());
    X509_set_version(x.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(x.get()), fromSeconds);
    X509_gmtime_adj(X509_getm_notAfter(x.get()), toSeconds);
    X509_set_pubkey(x.get(), key);
    X509_NAME* name = X509_get_subject_name(x.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName.constData()), -1, -1, 0);
    X509_set_issuer_name(x.get(), issuer ? X509_get_subject_name(issuer) : name);
    return x;
}

void sign(X509* x, EVP_PKEY* key) { check(X509_sign(x, key, EVP_sha256()) > 0, "signature"); }

void writeCert(X509* x, const QString& file)
{
    BIO* bio = BIO_new_file(file.toLocal8Bit().constData(), "w");
    check(bio != nullptr, "file");
    PEM_write_bio_X509(bio, x);
    BIO_free(bio);
}

void writeKey(EVP_PKEY* k, const QString& file)
{
    BIO* bio = BIO_new_file(file.toLocal8Bit().constData(), "w");
    check(bio != nullptr, "file");
    PEM_write_bio_PrivateKey(bio, k, nullptr, nullptr, 0, nullptr, nullptr);
    BIO_free(bio);
}

struct Authority {
    Key key;
    Cert cert;
    explicit Authority(const QByteArray& name) : key(newKey())
    {
        cert = newCert(key.get(), name, nullptr, nullptr, 1, -3600, 86400L * 30);
        addExtension(cert.get(), cert.get(), NID_basic_constraints, "critical,CA:TRUE");
        addExtension(cert.get(), cert.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
        addExtension(cert.get(), cert.get(), NID_subject_key_identifier, "hash");
        sign(cert.get(), key.get());
    }
};

} // namespace

struct TestPki::Keys {
    Authority trusted {"Pixtrawl Test CA"};
    Authority unknown {"Unknown Test CA"};
};

TestPki::TestPki() : m_keys(std::make_unique<Keys>())
{
    check(m_dir.isValid(), "folder");
    writeCert(m_keys->trusted.cert.get(), caFile());
}

TestPki::~TestPki() = default;

QString TestPki::caFile() const { return m_dir.filePath(QStringLiteral("ca.pem")); }

TlsIdentity TestPki::server(const QStringList& names, Flaw flaw)
{
    const Authority& ca = flaw == Flaw::UnknownAuthority ? m_keys->unknown : m_keys->trusted;
    Key key = newKey();
    const long from = flaw == Flaw::Expired ? -86400L * 2 : -3600;
    const long to = flaw == Flaw::Expired ? -3600 : 86400L * 30;
    Cert cert = newCert(key.get(), names.value(0).toLatin1(), ca.cert.get(), ca.key.get(), 100 + ++m_count, from, to);
    QStringList alt;
    for (const QString& n : names)
        alt << (QHostAddress(n).isNull() ? QStringLiteral("DNS:") : QStringLiteral("IP:")) + n;
    addExtension(cert.get(), ca.cert.get(), NID_basic_constraints, "CA:FALSE");
    addExtension(cert.get(), ca.cert.get(), NID_subject_alt_name, alt.join(QLatin1Char(',')).toLatin1());
    addExtension(cert.get(), ca.cert.get(), NID_ext_key_usage, "serverAuth");
    addExtension(cert.get(), ca.cert.get(), NID_authority_key_identifier, "keyid");
    sign(cert.get(), ca.key.get());
    TlsIdentity id {m_dir.filePath(QStringLiteral("server%1.pem").arg(m_count)),
                    m_dir.filePath(QStringLiteral("server%1.key").arg(m_count))};
    writeCert(cert.get(), id.certFile);
    writeKey(key.get(), id.keyFile);
    return id;
}

TestPki::Trust::Trust(const TestPki& pki) : m_old(qgetenv("SSL_CERT_FILE")), m_had(qEnvironmentVariableIsSet("SSL_CERT_FILE"))
{
    qputenv("SSL_CERT_FILE", pki.caFile().toLocal8Bit());
}

TestPki::Trust::~Trust()
{
    if (m_had)
        qputenv("SSL_CERT_FILE", m_old);
    else
        qunsetenv("SSL_CERT_FILE");
}

} // namespace pxt::test
