#include "web/Accounts.h"

#include "store/DataQuery.h"
#include "store/Database.h"

#include <sodium.h>

namespace kvt::web {
namespace {

void requireSodium() {
    if (sodium_init() < 0)
        throw StoreError(QStringLiteral("密码库无法初始化。"));
}

const QString kSelect = QStringLiteral("select * from 网页账号 where 用户名=");

} // namespace

QString accountNameProblem(const QString& name) {
    if (name.isEmpty())
        return QStringLiteral("用户名不能为空。");
    if (name.size() > 32)
        return QStringLiteral("用户名不能超过32个字符。");
    for (const QChar c : name)
        if (c.isSpace() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return QStringLiteral("用户名不能含空格或控制字符。");
    return QString();
}

QString hashPassword(const QString& password) {
    requireSodium();
    const QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, utf8.constData(), quint64(utf8.size()), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                              crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw StoreError(QStringLiteral("内存不足，无法计算密码散列。"));
    return QString::fromLatin1(out);
}

bool passwordMatches(const QString& hash, const QString& password) {
    requireSodium();
    const QByteArray h = hash.toLatin1();
    const QByteArray utf8 = password.toUtf8();
    return h.size() < crypto_pwhash_STRBYTES &&
           crypto_pwhash_str_verify(h.constData(), utf8.constData(), quint64(utf8.size())) == 0;
}

void saveAccount(const QString& name, const QString& password) {
    const QString problem = accountNameProblem(name);
    if (!problem.isEmpty())
        throw StoreError(problem);
    if (password.size() < kMinPasswordLength)
        throw StoreError(QStringLiteral("密码至少要%1个字符。").arg(kMinPasswordLength));
    const QString hash = hashPassword(password);
    TransactionScope tx;
    DataQuery q;
    q.SetSql(kSelect + SqlText(name));
    q.Open();
    if (q.RowCount() == 0) {
        q.AppendRow();
        q.Field(QStringLiteral("用户名")).setString(name);
    } else {
        q.EditRow();
    }
    q.Field(QStringLiteral("密码散列")).setString(hash);
    q.ApplyUpdates();
    tx.Commit();
}

bool removeAccount(const QString& name) {
    return Database::Exec(QStringLiteral("delete from 网页账号 where 用户名=") + SqlText(name)) > 0;
}

QStringList accountNames() {
    DataQuery q;
    q.SetSql(QStringLiteral("select 用户名 from 网页账号 order by 用户名"));
    q.Open();
    QStringList names;
    for (int r = 1; r <= q.RowCount(); ++r)
        names << q.TextAt(r, 0);
    return names;
}

std::optional<QString> accountHash(const QString& name) {
    DataQuery q;
    q.SetSql(kSelect + SqlText(name));
    q.Open();
    if (q.RowCount() == 0)
        return std::nullopt;
    return q.Field(QStringLiteral("密码散列")).asString();
}

} // namespace kvt::web
