#include "web/WebSite.h"

#include "store/StoreError.h"
#include "web/Accounts.h"
#include "web/Measure.h"
#include "web/Pages.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>

namespace kvt::web {
namespace {

const QByteArray kCookie = QByteArrayLiteral("kvtweb");
/// Sessions end after 12 hours; the cookie goes with them.
const QByteArray kCookieAge = QByteArray::number(Sessions::kLifetime / 1000);

/// A form's fields (application/x-www-form-urlencoded).
QUrlQuery formOf(const QByteArray& body) {
    QByteArray b = body;
    b.replace('+', "%20");
    return QUrlQuery(QString::fromLatin1(b));
}

QString field(const QUrlQuery& form, const QString& name) {
    return form.queryItemValue(name, QUrl::FullyDecoded);
}

QByteArray cookieValue(const QByteArray& header) {
    for (const QByteArray& part : header.split(';')) {
        const QByteArray p = part.trimmed();
        if (p.startsWith(kCookie + '='))
            return p.mid(kCookie.size() + 1);
    }
    return QByteArray();
}

Reply html(int status, const QByteArray& body) {
    return Reply{status, body, {}};
}

Reply redirect(const QByteArray& location) {
    Reply r{303, QByteArray(), {}};
    r.headers.append({QByteArrayLiteral("Location"), location});
    return r;
}

/// A name typed at the login, fit for the log.
QString shownName(const QString& name) {
    return name.left(40);
}

Reply unavailable(const QString& message) {
    return html(503, messagePage(QStringLiteral("暂时不能使用"), message, true));
}

const QString kBusy = QStringLiteral("数据库正被其他程序占用，本次没有保存。请稍后再试。");

} // namespace

QString searchText(const QString& typed, bool* cut) {
    QString text;
    text.reserve(std::min<qsizetype>(typed.size(), kSearchLength));
    for (const QChar c : typed)
        if (c.category() != QChar::Other_Control)
            text += c;
    text = text.trimmed();
    if (cut)
        *cut = text.size() > kSearchLength;
    if (text.size() > kSearchLength)
        text = text.left(kSearchLength - (text.at(kSearchLength - 1).isHighSurrogate() ? 1 : 0)).trimmed();
    return text;
}

void logLine(const QString& line) {
    QString clean = line;
    for (QChar& c : clean)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QLatin1Char('?');
    const QByteArray out = clean.toUtf8() + '\n';
    std::fwrite(out.constData(), 1, size_t(out.size()), stderr);
    std::fflush(stderr);
}

WebSite::WebSite(bool secure) : m_secure(secure), m_clock([] { return QDateTime::currentMSecsSinceEpoch(); }) {}

Reply WebSite::handle(const Request& request) {
    const qint64 now = m_clock();
    const bool post = request.method == "POST";
    if (!post && request.method != "GET")
        return html(405,
                    messagePage(QStringLiteral("不支持的请求"), QStringLiteral("这个页面只能打开或提交。"), false));
    try {
        if (request.path == QLatin1String("/login")) {
            if (post)
                return login(request, now);
            return html(200, loginPage(QString(), QString()));
        }
        const QByteArray token = cookieValue(request.cookie);
        std::optional<Session> session;
        if (!token.isEmpty()) {
            const std::lock_guard lock(m_lock);
            session = m_sessions.find(token, now);
        }
        if (!session) {
            if (!post)
                return redirect("/login");
            return html(403, messagePage(QStringLiteral("请先登录"),
                                         QStringLiteral("登录已过期或没有登录，没有保存。请重新登录。"), false));
        }
        QUrlQuery form;
        if (post) {
            form = formOf(request.body);
            if (!tokensEqual(field(form, QStringLiteral("token")).toLatin1(), session->formToken))
                return html(403, messagePage(QStringLiteral("表单已失效"),
                                             QStringLiteral("这个表单不是本次登录打开的，没有保存。请重新打开页面。"),
                                             true));
        }
        static const QRegularExpression billPath(QStringLiteral("^/bill/([0-9]{1,18})$"));
        const QRegularExpressionMatch bill = billPath.match(request.path);
        if (request.path == QLatin1String("/logout") && post) {
            {
                const std::lock_guard lock(m_lock);
                m_sessions.close(token);
            }
            logLine(QStringLiteral("退出登录 用户=%1 地址=%2").arg(session->name, request.address));
            Reply r = redirect("/login");
            r.headers.append({QByteArrayLiteral("Set-Cookie"), kCookie +
                                                                   "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict" +
                                                                   (m_secure ? QByteArray("; Secure") : QByteArray())});
            return r;
        }
        if (request.path == QLatin1String("/") && !post) {
            bool cut = false;
            const QString search =
                searchText(request.query.queryItemValue(QStringLiteral("q"), QUrl::FullyDecoded), &cut);
            bool more = false;
            const QList<MeasureBill> bills = unmeasuredBills(search, &more);
            return html(
                200, listPage(bills, search, more, session->name, session->formToken,
                              cut ? QStringLiteral("搜索内容太长，只按前%1个字查找。").arg(kSearchLength) : QString()));
        }
        if (bill.hasMatch()) {
            const qint64 id = bill.captured(1).toLongLong();
            if (post)
                return saveBill(request, *session, id);
            QString notice;
            if (request.query.hasQueryItem(QStringLiteral("saved"))) {
                const int saved = request.query.queryItemValue(QStringLiteral("saved")).toInt();
                notice = saved > 0 ? QStringLiteral("已保存%1行。").arg(saved)
                                   : QStringLiteral("没有新填写的尺寸，单据没有改动。");
            }
            return showBill(id, *session, notice);
        }
        return html(404, messagePage(QStringLiteral("没有这个页面"), QStringLiteral("没有这个页面。"), true));
    } catch (const std::exception& e) {
        // The engine's message goes to the log, never to the page.
        logLine(QStringLiteral("出错 %1 %2：%3")
                    .arg(QString::fromLatin1(request.method), request.path, QString::fromUtf8(e.what())));
        const auto* store = dynamic_cast<const StoreError*>(&e);
        return unavailable(store && store->kind() == StoreError::Kind::Busy
                               ? kBusy
                               : QStringLiteral("数据库暂时不能使用，本次没有保存。请稍后再试。"));
    }
}

Reply WebSite::login(const Request& request, qint64 now) {
    const QUrlQuery form = formOf(request.body);
    const QString name = field(form, QStringLiteral("name")).trimmed();
    const QString password = field(form, QStringLiteral("password"));
    bool blocked = false;
    {
        const std::lock_guard lock(m_lock);
        blocked = m_throttle.blocked(name, request.address, now);
    }
    if (blocked) {
        logLine(QStringLiteral("登录暂停 用户=%1 地址=%2").arg(shownName(name), request.address));
        return html(429, loginPage(QStringLiteral("密码错误次数太多，请十分钟后再试。"), name));
    }
    // An unknown name costs a hash too, so the answer's time does not tell which names exist.
    static const QString unknown = hashPassword(QString::fromLatin1(randomToken()));
    const std::optional<QString> hash = accountNameProblem(name).isEmpty() ? accountHash(name) : std::nullopt;
    const bool ok = passwordMatches(hash.value_or(unknown), password) && hash;
    if (!ok) {
        {
            const std::lock_guard lock(m_lock);
            m_throttle.failed(name, request.address, now);
        }
        logLine(QStringLiteral("登录失败 用户=%1 地址=%2").arg(shownName(name), request.address));
        return html(401, loginPage(QStringLiteral("用户名或密码不对。"), name));
    }
    QByteArray token;
    {
        const std::lock_guard lock(m_lock);
        token = m_sessions.open(name, now);
    }
    logLine(QStringLiteral("登录 用户=%1 地址=%2").arg(name, request.address));
    Reply r = redirect("/");
    r.headers.append({QByteArrayLiteral("Set-Cookie"), kCookie + '=' + token + "; Path=/; Max-Age=" + kCookieAge +
                                                           "; HttpOnly; SameSite=Strict" +
                                                           (m_secure ? QByteArray("; Secure") : QByteArray())});
    return r;
}

Reply WebSite::showBill(qint64 billId, const Session& session, const QString& notice) {
    const std::optional<MeasureBill> bill = measureBill(billId);
    if (!bill)
        return html(404,
                    messagePage(QStringLiteral("没有这张单据"), QStringLiteral("没有这张单据，可能已被删除。"), true));
    BillPageState state;
    state.notice = notice;
    return html(200, billPage(*bill, state, session.name, session.formToken));
}

Reply WebSite::saveBill(const Request& request, const Session& session, qint64 billId) {
    const QUrlQuery form = formOf(request.body);
    QList<TypedLine> typed;
    BillPageState state;
    for (const auto& [key, value] : form.queryItems(QUrl::FullyDecoded)) {
        bool ok = false;
        const qint64 id = key.mid(1).toLongLong(&ok);
        if (!key.startsWith(QLatin1Char('v')) || !ok)
            continue;
        TypedLine t{id, field(form, QStringLiteral("w%1").arg(id)), field(form, QStringLiteral("h%1").arg(id)),
                    value.toLatin1()};
        state.typed.insert(QStringLiteral("w%1").arg(id), t.width);
        state.typed.insert(QStringLiteral("h%1").arg(id), t.height);
        typed << t;
    }
    const QString who = QStringLiteral("用户=%1 地址=%2 单据=%3").arg(session.name, request.address).arg(billId);
    // Each save under way may wait for a lock another program holds; past a few, the next is told
    // to try again rather than taking the place of the pages that read.
    struct Counted {
        explicit Counted(std::atomic<int>& n) : count(n), admitted(n.fetch_add(1) < kSavesAtOnce) {}
        ~Counted() { count.fetch_sub(1); }
        std::atomic<int>& count;
        const bool admitted;
    } saving(m_saving);
    if (!saving.admitted) {
        logLine(QStringLiteral("保存被拒 %1 同时保存的太多").arg(who));
        return unavailable(kBusy);
    }
    const SaveOutcome outcome = saveMeasurements(billId, typed);
    int status = 200;
    switch (outcome.kind) {
    case SaveOutcome::Kind::Saved:
        logLine(
            QStringLiteral("保存 %1 行数=%2%3")
                .arg(who)
                .arg(outcome.written)
                .arg(outcome.alreadyStored ? QStringLiteral(" 已保存过=%1").arg(outcome.alreadyStored) : QString()));
        return redirect("/bill/" + QByteArray::number(billId) +
                        "?saved=" + QByteArray::number(outcome.written + outcome.alreadyStored));
    case SaveOutcome::Kind::NoBill:
        logLine(QStringLiteral("保存被拒 %1 单据不存在").arg(who));
        return html(404,
                    messagePage(QStringLiteral("没有这张单据"), QStringLiteral("没有这张单据，可能已被删除。"), true));
    case SaveOutcome::Kind::Invalid:
        logLine(QStringLiteral("保存被拒 %1 填写有误").arg(who));
        state.errors = outcome.errors;
        state.notice = QStringLiteral("有尺寸填写不对（见标红处），本单什么都没有保存。");
        status = 422;
        break;
    case SaveOutcome::Kind::Conflict:
        logLine(QStringLiteral("保存被拒 %1 单据已被修改").arg(who));
        for (const qint64 id : outcome.changed) {
            // The changed line shows what it holds now, not what was typed over its old state.
            state.typed.remove(QStringLiteral("w%1").arg(id));
            state.typed.remove(QStringLiteral("h%1").arg(id));
            state.errors.insert(QStringLiteral("l%1").arg(id),
                                QStringLiteral("这一行在你打开页面后被改过，下面是它现在的内容。"));
        }
        state.notice = QStringLiteral("单据在你打开页面后被改过，本单什么都没有保存。请核对标红的行后再保存。");
        status = 409;
        break;
    }
    state.noticeIsError = true;
    const std::optional<MeasureBill> bill = measureBill(billId);
    if (!bill)
        return html(404,
                    messagePage(QStringLiteral("没有这张单据"), QStringLiteral("没有这张单据，可能已被删除。"), true));
    return html(status, billPage(*bill, state, session.name, session.formToken));
}

} // namespace kvt::web
