#pragma once
// The measurers' accounts of the web page: a name and an Argon2id hash of the password, in the
// table 网页账号 of the open database. The password itself is never stored or logged.

#include <QString>
#include <QStringList>

#include <optional>

namespace kvt::web {

/// The shortest password an account takes.
inline constexpr int kMinPasswordLength = 8;

/// Why a name cannot be an account's ("" when it can): empty, longer than 32 characters, or with
/// spaces or control characters (it goes into log lines and cookies' sessions as it is).
QString accountNameProblem(const QString& name);

/// An Argon2id hash of the password, in libsodium's text form (salt and limits included).
QString hashPassword(const QString& password);
/// True when password is the one hash was made of.
bool passwordMatches(const QString& hash, const QString& password);

/// Adds an account, or gives an existing one a new password; the name must pass accountNameProblem
/// and the password be at least kMinPasswordLength characters (StoreError otherwise).
void saveAccount(const QString& name, const QString& password);
/// Removes an account; false when there was none of that name.
bool removeAccount(const QString& name);
/// The accounts' names, sorted.
QStringList accountNames();
/// The stored hash of an account; nullopt when there is none of that name.
std::optional<QString> accountHash(const QString& name);

} // namespace kvt::web
