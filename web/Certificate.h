#pragma once
// The HTTPS certificate of the web page: the one kvt.ini names, or one made for this machine at
// the first start and kept in the data folder.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kvt::web {

struct PemFiles {
    QByteArray certificate;
    QByteArray key;
};

/// A new self-signed certificate (ECDSA P-256, SHA-256, ten years) and its private key, as PEM
/// texts, valid for the names and addresses given (host names, IPv4 or IPv6 addresses).
PemFiles makeSelfSignedCertificate(const QStringList& names);

/// The names a certificate made here should be valid for: localhost, the machine's host name and
/// its non-loopback addresses.
QStringList machineNames();

/// Reads the certificate and key files, making both first when neither exists (the key readable
/// by its owner only). Gives "" or what went wrong.
QString loadOrMakeCertificate(const QString& certificatePath, const QString& keyPath, PemFiles* out);

} // namespace kvt::web
