#include "web/Pages.h"

#include <algorithm>

// Texts go into the pages appended piece by piece, or with one multi-argument arg() each: a chained
// arg() would also replace a "%2" that a client's name or an address happens to hold.

namespace kvt::web {
namespace {

const char* const kStyle = R"CSS(
*{box-sizing:border-box}
body{margin:0;font:16px/1.4 sans-serif;background:#f4f4f4;color:#222;max-width:600px}
header{background:#2d5d8a;color:#fff;padding:8px 10px;display:flex;justify-content:space-between;align-items:center}
header a,header button{color:#fff;background:none;border:0;font:inherit;text-decoration:underline}
h1{font-size:20px;margin:0}
main{padding:8px}
.bill,.line{background:#fff;border:1px solid #ccc;border-radius:6px;padding:8px;margin:0 0 8px}
.bill a{font-size:18px}
.meta{color:#555;font-size:14px}
ul{margin:4px 0 0;padding-left:18px}
.pair{display:flex;gap:8px}
.pair label{flex:1;min-width:0}
label{display:block;margin-top:6px}
input{font-size:18px;padding:6px;width:100%;border:1px solid #999;border-radius:4px}
button.main{width:100%;font-size:20px;padding:10px;margin-top:8px;background:#2d5d8a;color:#fff;border:0;border-radius:6px}
.error{color:#b00020;font-size:14px;display:block}
.notice{background:#e3f1e3;border:1px solid #7a7;padding:8px;border-radius:6px;margin-bottom:8px}
.notice.bad{background:#fbe3e3;border-color:#c77}
.line.bad{border-color:#b00020}
form.search{display:flex;gap:6px;margin-bottom:8px}
form.search button{font-size:16px;padding:6px 12px;white-space:nowrap}
)CSS";

/// A text from the database, escaped and isolated from the text around it.
QString isolated(const QString& text) {
    return QLatin1String("<bdi>") + escapeHtml(text) + QLatin1String("</bdi>");
}

void appendIsolated(QString& out, const QString& text) {
    out += QLatin1String("<bdi>");
    out += escapeHtml(text);
    out += QLatin1String("</bdi>");
}

QString page(const QString& title, const QString& body, const QString& user, const QByteArray& formToken) {
    static const QString style = QStringLiteral("<style>") + QString::fromLatin1(kStyle) + QStringLiteral("</style>");
    const QString shownTitle = escapeHtml(title);
    QString h;
    h.reserve(body.size() + style.size() + 512);
    h += QLatin1String("<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
                       "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\"><title>");
    h += shownTitle;
    h += QLatin1String("</title>");
    h += style;
    h += QLatin1String("</head><body><header><h1>");
    h += shownTitle;
    h += QLatin1String("</h1>");
    if (!user.isEmpty())
        h += QStringLiteral("<form method=\"post\" action=\"/logout\"><input type=\"hidden\" name=\"token\" "
                            "value=\"%1\"><span>%2</span> <button type=\"submit\">退出登录</button></form>")
                 .arg(QString::fromLatin1(formToken), isolated(user));
    h += QLatin1String("</header><main>");
    h += body;
    h += QLatin1String("</main></body></html>\n");
    return h;
}

/// Appends "w×h" to out.
void appendSize(QString& out, const QString& w, const QString& h) {
    appendIsolated(out, w);
    out += QChar(0x00D7);
    appendIsolated(out, h);
}

QString errorSpan(const QHash<QString, QString>& errors, const QString& key) {
    const auto it = errors.constFind(key);
    return it == errors.constEnd() ? QString() : QStringLiteral("<span class=\"error\">%1</span>").arg(escapeHtml(*it));
}

/// A stored size shown in a field: empty while it is 0 (not measured).
QString fieldValue(const QString& stored) {
    return stored == QLatin1String("0") ? QString() : stored;
}

} // namespace

QString escapeHtml(const QString& text) {
    const auto special = [](QChar c) {
        const char16_t u = c.unicode();
        return u == '&' || u == '<' || u == '>' || u == '"' || u == '\'';
    };
    if (std::none_of(text.cbegin(), text.cend(), special))
        return text;
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        case '\'':
            out += QLatin1String("&#39;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QByteArray loginPage(const QString& message, const QString& name) {
    QString body;
    if (!message.isEmpty())
        body += QStringLiteral("<p class=\"notice bad\">%1</p>").arg(escapeHtml(message));
    body += QStringLiteral("<form method=\"post\" action=\"/login\" class=\"line\">"
                           "<label>用户名<input name=\"name\" autocomplete=\"username\" "
                           "value=\"%1\" required></label>"
                           "<label>密码<input name=\"password\" type=\"password\" "
                           "autocomplete=\"current-password\" required></label>"
                           "<button class=\"main\" type=\"submit\">登录</button></form>")
                .arg(escapeHtml(name));
    return page(QStringLiteral("测量登录"), body, QString(), QByteArray()).toUtf8();
}

QByteArray listPage(const QList<MeasureBill>& bills, const QString& search, bool more, const QString& user,
                    const QByteArray& formToken, const QString& notice) {
    QString body =
        QStringLiteral(
            "<form class=\"search\" method=\"get\" action=\"/\"><input name=\"q\" "
            "placeholder=\"客户名或地址\" value=\"%1\" maxlength=\"%2\"><button type=\"submit\">搜索</button>"
            "</form>")
            .arg(escapeHtml(search), QString::number(kSearchLength));
    if (!notice.isEmpty())
        body += QStringLiteral("<p class=\"notice bad\">%1</p>").arg(escapeHtml(notice));
    // Room for the whole list at once, so that it is not copied as it grows.
    body.reserve(1024 + 320 * bills.size());
    if (bills.isEmpty())
        body += search.trimmed().isEmpty() ? QStringLiteral("<p class=\"notice\">没有待测量的门框。</p>")
                                           : QStringLiteral("<p class=\"notice\">没有找到待测量的单据。</p>");
    for (const MeasureBill& b : bills) {
        const QString id = QString::number(b.id);
        body += QLatin1String("<div class=\"bill\"><a href=\"/bill/");
        body += id;
        body += QLatin1String("\">");
        appendIsolated(body, b.client);
        body += QLatin1String("</a> <span class=\"meta\">");
        appendIsolated(body, b.date);
        body += QStringLiteral(" · 单据");
        body += id;
        body += QLatin1String("</span><div class=\"meta\">");
        appendIsolated(body, b.address);
        body += QLatin1String("</div><ul>");
        for (const MeasureLine& l : b.lines) {
            body += QLatin1String("<li>");
            appendIsolated(body, l.product);
            body += QLatin1Char(' ');
            appendSize(body, l.lightWidth, l.lightHeight);
            body += QLatin1String("</li>");
        }
        body += QLatin1String("</ul></div>");
    }
    if (more)
        body += QStringLiteral("<p class=\"meta\">只列出最新的%1张单据；更早的请用搜索查找。</p>").arg(kListedBills);
    return page(QStringLiteral("待测量"), body, user, formToken).toUtf8();
}

QByteArray billPage(const MeasureBill& bill, const BillPageState& state, const QString& user,
                    const QByteArray& formToken) {
    QString body = QStringLiteral("<p><a href=\"/\">← 待测量</a></p>");
    body.reserve(1024 + 640 * bill.lines.size());
    if (!state.notice.isEmpty())
        body += QStringLiteral("<p class=\"notice%1\">%2</p>")
                    .arg(state.noticeIsError ? QStringLiteral(" bad") : QString(), escapeHtml(state.notice));
    body += QStringLiteral("<div class=\"bill\"><b>%1</b> <span class=\"meta\">%2 · 单据%3</span>"
                           "<div class=\"meta\">%4</div></div>")
                .arg(isolated(bill.client), isolated(bill.date), QString::number(bill.id), isolated(bill.address));
    body +=
        QStringLiteral("<form method=\"post\" action=\"/bill/%1\"><input type=\"hidden\" name=\"token\" value=\"%2\">")
            .arg(QString::number(bill.id), QString::fromLatin1(formToken));
    // A page as loaded has no typed texts and no messages: its fields' names are not looked up.
    const bool marked = !state.typed.isEmpty() || !state.errors.isEmpty();
    int n = 0;
    for (const MeasureLine& l : bill.lines) {
        const QString id = QString::number(l.id);
        const QString lineError = marked ? state.errors.value(QLatin1Char('l') + id) : QString();
        body += lineError.isEmpty() ? QLatin1String("<div class=\"line\" id=\"l")
                                    : QLatin1String("<div class=\"line bad\" id=\"l");
        body += id;
        body += QLatin1String("\"><b>");
        body += QString::number(++n);
        body += QLatin1String(". ");
        appendIsolated(body, l.product);
        body += QLatin1String("</b>");
        if (!lineError.isEmpty())
            body += errorSpan(state.errors, QLatin1Char('l') + id);
        body += QStringLiteral("<div class=\"meta\">见光 ");
        appendSize(body, l.lightWidth, l.lightHeight);
        body += QStringLiteral(" · 埋地 ");
        appendIsolated(body, l.buried);
        if (!l.remark.trimmed().isEmpty()) {
            body += QStringLiteral(" · ");
            appendIsolated(body, l.remark);
        }
        body += QLatin1String("</div>");
        if (l.hasProduct) {
            body += QLatin1String("<input type=\"hidden\" name=\"v");
            body += id;
            body += QLatin1String("\" value=\"");
            body += QLatin1String(l.fingerprint);
            body += QLatin1String("\"><div class=\"pair\">");
            for (const auto& [prefix, title, stored] : {std::tuple{'w', QStringLiteral("现量宽"), &l.measuredWidth},
                                                        std::tuple{'h', QStringLiteral("现量高"), &l.measuredHeight}}) {
                const QString field = marked ? QLatin1Char(prefix) + id : QString();
                const auto typed = marked ? state.typed.constFind(field) : state.typed.constEnd();
                body += QLatin1String("<label>");
                body += title;
                body += QLatin1String("<input name=\"");
                body += QLatin1Char(prefix);
                body += id;
                body += QLatin1String("\" inputmode=\"decimal\" autocomplete=\"off\" value=\"");
                body += escapeHtml(typed != state.typed.constEnd() ? *typed : fieldValue(*stored));
                body += QLatin1String("\">");
                if (marked)
                    body += errorSpan(state.errors, field);
                body += QLatin1String("</label>");
            }
            body += QLatin1String("</div>");
        } else {
            body += QStringLiteral("<div class=\"meta\">这一行没有商品，不能填写尺寸。</div>");
        }
        body += QLatin1String("</div>");
    }
    body += QStringLiteral("<button class=\"main\" type=\"submit\">保存</button></form>");
    return page(QStringLiteral("单据%1").arg(bill.id), body, user, formToken).toUtf8();
}

QByteArray messagePage(const QString& title, const QString& message, bool loggedIn) {
    QString body = QStringLiteral("<p class=\"notice bad\">%1</p>").arg(escapeHtml(message));
    body += loggedIn ? QStringLiteral("<p><a href=\"/\">← 待测量</a></p>")
                     : QStringLiteral("<p><a href=\"/login\">登录</a></p>");
    return page(title, body, QString(), QByteArray()).toUtf8();
}

} // namespace kvt::web
