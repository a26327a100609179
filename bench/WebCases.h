#pragma once
// What the benchmarks of kvtweb's pages share: the site answering in-process on the open database,
// with the bench account logged in, and the statements behind each page in the program's dialect.

#include "web/WebSite.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

namespace kvt::bench {

/// The bill the bill page shows: the newest, with ten lines.
constexpr qint64 kWebBill = 100000;

/// kvtweb's site on the open database, with an account saved on it and logged in.
class WebPages {
public:
    WebPages();
    /// The page at path, as the logged-in phone asks for it.
    web::Reply get(const QString& path);

private:
    std::unique_ptr<web::WebSite> m_site;
    QByteArray m_cookie;
};

/// True when a page came back whole with bills on it.
bool ShowsBills(const web::Reply& reply);

/// The statements behind 待测量 as they stand on the open database: the bills, then their lines.
QStringList UnmeasuredListStatements();
/// The statements behind kWebBill's page: its header, then its lines with their products' names.
QStringList BillPageStatements();

} // namespace kvt::bench
