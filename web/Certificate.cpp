#include "web/Certificate.h"

#include <QFile>
#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>

namespace kvt::web {
namespace {

template <typename T, void (*Free)(T*)> using Owned = std::unique_ptr<T, std::integral_constant<decltype(Free), Free>>;

void check(bool ok, const char* what) {
    if (!ok)
        throw std::runtime_error(what);
}

QByteArray bioText(BIO* bio) {
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio, &data);
    return QByteArray(data, int(n));
}

void addExtension(X509* x, int nid, const QByteArray& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, x, x, nullptr, nullptr, 0);
    Owned<X509_EXTENSION, X509_EXTENSION_free> ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.constData()));
    check(ext && X509_add_ext(x, ext.get(), -1) == 1, "certificate extension");
}

} // namespace

PemFiles makeSelfSignedCertificate(const QStringList& names) {
    Owned<EVP_PKEY, EVP_PKEY_free> key(EVP_EC_gen("P-256"));
    check(bool(key), "key");
    Owned<X509, X509_free> x(X509_new());
    check(bool(x) && X509_set_version(x.get(), 2) == 1, "certificate");
    Owned<BIGNUM, BN_free> serial(BN_new());
    check(serial && BN_rand(serial.get(), 120, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1 &&
              BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(x.get())),
          "serial number");
    check(X509_gmtime_adj(X509_getm_notBefore(x.get()), -24L * 3600) &&
              X509_gmtime_adj(X509_getm_notAfter(x.get()), 10L * 365 * 24 * 3600),
          "validity");
    X509_NAME* subject = X509_get_subject_name(x.get());
    check(X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("kvtweb"), -1,
                                     -1, 0) == 1 &&
              X509_set_issuer_name(x.get(), subject) == 1 && X509_set_pubkey(x.get(), key.get()) == 1,
          "names");
    QStringList alt;
    for (const QString& n : names)
        alt << (QHostAddress().setAddress(n) ? QStringLiteral("IP:") : QStringLiteral("DNS:")) + n;
    if (!alt.isEmpty())
        addExtension(x.get(), NID_subject_alt_name, alt.join(QLatin1Char(',')).toUtf8());
    addExtension(x.get(), NID_basic_constraints, "critical,CA:FALSE");
    addExtension(x.get(), NID_key_usage, "critical,digitalSignature");
    addExtension(x.get(), NID_ext_key_usage, "serverAuth");
    check(X509_sign(x.get(), key.get(), EVP_sha256()) > 0, "signature");

    Owned<BIO, BIO_free_all> certBio(BIO_new(BIO_s_mem())), keyBio(BIO_new(BIO_s_mem()));
    check(certBio && keyBio && PEM_write_bio_X509(certBio.get(), x.get()) == 1 &&
              PEM_write_bio_PrivateKey(keyBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1,
          "PEM");
    return {bioText(certBio.get()), bioText(keyBio.get())};
}

QStringList machineNames() {
    QStringList names{QStringLiteral("localhost"), QStringLiteral("127.0.0.1")};
    const QString host = QHostInfo::localHostName();
    if (!host.isEmpty() && !names.contains(host))
        names << host;
    for (const QHostAddress& a : QNetworkInterface::allAddresses())
        if (!a.isLoopback() && !a.isLinkLocal() && a.protocol() == QAbstractSocket::IPv4Protocol)
            names << a.toString();
    names.removeDuplicates();
    return names;
}

QString loadOrMakeCertificate(const QString& certificatePath, const QString& keyPath, PemFiles* out) {
    if (!QFile::exists(certificatePath) && !QFile::exists(keyPath)) {
        PemFiles made;
        try {
            made = makeSelfSignedCertificate(machineNames());
        } catch (const std::exception& e) {
            return QStringLiteral("无法生成证书（%1）。").arg(QString::fromUtf8(e.what()));
        }
        // The key first and owner-only: a certificate without its key would be refused next time.
        for (const auto& [path, text, mode] :
             {std::tuple{keyPath, made.key, QFile::ReadOwner | QFile::WriteOwner},
              std::tuple{certificatePath, made.certificate,
                         QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther}}) {
            // Narrowed before anything is written into it.
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly) || !f.setPermissions(mode) ||
                f.write(text) != text.size() || !f.flush())
                return QStringLiteral("无法写入“%1”：%2").arg(path, f.errorString());
        }
    }
    for (const auto& [path, target] : {std::pair{certificatePath, &out->certificate}, std::pair{keyPath, &out->key}}) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return QStringLiteral("无法读取“%1”：%2").arg(path, f.errorString());
        *target = f.readAll();
    }
    return QString();
}

} // namespace kvt::web
