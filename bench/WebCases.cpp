#include "WebCases.h"

#include "store/DataQuery.h"
#include "web/Accounts.h"
#include "web/Measure.h"

#include <stdexcept>

namespace kvt::bench {

WebPages::WebPages() {
    web::saveAccount(QStringLiteral("李工"), QStringLiteral("password1"));
    m_site = std::make_unique<web::WebSite>(true);
    web::Request login;
    login.method = "POST";
    login.path = QStringLiteral("/login");
    login.body = QStringLiteral("name=%E6%9D%8E%E5%B7%A5&password=password1").toLatin1();
    login.address = QStringLiteral("127.0.0.1");
    const web::Reply reply = m_site->handle(login);
    for (const auto& [name, value] : reply.headers)
        if (name == "Set-Cookie")
            m_cookie = value.left(value.indexOf(';'));
    if (m_cookie.isEmpty())
        throw std::runtime_error("the bench account could not log in");
}

web::Reply WebPages::get(const QString& path) {
    web::Request request;
    request.method = "GET";
    request.path = path;
    request.cookie = m_cookie;
    request.address = QStringLiteral("127.0.0.1");
    return m_site->handle(request);
}

bool ShowsBills(const web::Reply& reply) {
    return reply.status == 200 && reply.body.contains("class=\"bill\"");
}

QStringList UnmeasuredListStatements() {
    const QString bills = web::unmeasuredBillsSql(false);
    DataQuery q;
    q.SetSql(bills);
    q.Open();
    QStringList ids;
    for (int r = 1; r <= q.RowCount() && ids.size() < web::kListedBills; ++r)
        ids << q.TextAt(r, 0);
    return {bills, web::unmeasuredLinesSql(ids)};
}

QStringList BillPageStatements() {
    return {web::billHeaderSql(kWebBill), web::billLinesShownSql(kWebBill)};
}

} // namespace kvt::bench
