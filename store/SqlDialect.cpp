// See SqlDialect.h. Pure text: calls no engine.
#include "store/SqlDialect.h"

#include "store/StoreError.h"

#include <QDate>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>

#include <vector>

namespace kvt {
namespace {

QString singleQuoted(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('\'');
    for (QChar c : text) {
        if (c == QLatin1Char('\''))
            out += QLatin1Char('\'');
        out += c;
    }
    out += QLatin1Char('\'');
    return out;
}

/// "2021-01-14", "2021/1/14" (year first) or "1/14/2021" (month first).
QDate parseDateLiteral(const QString& text) {
    const QString t = text.trimmed();
    const QStringList parts = t.split(QRegularExpression(QStringLiteral("[-/.]")));
    if (parts.size() != 3)
        return {};
    bool ok[3];
    const int a = parts[0].toInt(&ok[0]), b = parts[1].toInt(&ok[1]), c = parts[2].toInt(&ok[2]);
    if (!ok[0] || !ok[1] || !ok[2])
        return {};
    if (parts[0].size() == 4)
        return QDate(a, b, c);
    if (parts[2].size() == 4)
        return QDate(c, a, b);
    return {};
}

} // namespace

namespace {

enum class Tok { Space, Comment, Literal, Quoted, Word, Number, Punct };

struct Token {
    Tok kind;
    QString text;   // as it goes out
    QString suffix; // added after it
    int depth = 0;  // parentheses around it
    QString plain;  // as SQLite is given it
};

bool wordStart(QChar c) {
    return c.isLetter() || c == QLatin1Char('_') || c.unicode() >= 0x80;
}
bool wordPart(QChar c) {
    return wordStart(c) || c.isDigit() || c == QLatin1Char('$');
}

/// The program's tables and columns, by their names in lower case.
const QHash<QString, QString>& schemaNames() {
    static const QHash<QString, QString> names = [] {
        QHash<QString, QString> h;
        const char* const all[] = {
            "历史单据", "单据ID", "客户ID", "客户地址", "单据日期", "安装人员ID", "安装人员", "单据明细", "门框ID",
            "商品ID", "数量", "玻璃款式", "见光宽", "见光高", "现量宽", "现量高", "门扇宽", "门扇高", "玻璃宽",
            "玻璃高", "门框总宽", "门框总高", "埋地", "门框附加", "门框备注", "商品信息", "商品名称", "商品说明",
            "外框宽公式", "自定义编号", "外框高公式", "门扇宽公式", "门扇高公式", "门扇玻璃宽公式", "门扇玻璃高公式",
            "客户信息", "客户名", "客户电话", "客户备注", "系统设置", "ID", "值",
            // The cutting list's tables.
            "材料", "材料ID", "材料名称", "原料长度", "锯缝", "端头余量", "最短余料", "商品部件", "部件ID", "部件名称",
            "件数", "长度公式", "余料", "余料ID", "长度", "来源", "入库日期", "下料记录", "记录ID", "下料单号",
            "下料日期", "序号", "原料序号"};
        for (const char* n : all)
            h.insert(QString::fromUtf8(n).toLower(), QString::fromUtf8(n));
        return h;
    }();
    return names;
}

bool isWord(const Token& t, const char* lower) {
    return t.kind == Tok::Word && t.text.compare(QLatin1String(lower), Qt::CaseInsensitive) == 0;
}

/// Type names that follow AS inside cast(): never aliases.
bool isTypeName(const QString& word) {
    static const QStringList types = {
        QStringLiteral("integer"), QStringLiteral("int"),     QStringLiteral("bigint"),   QStringLiteral("smallint"),
        QStringLiteral("real"),    QStringLiteral("double"),  QStringLiteral("float"),    QStringLiteral("numeric"),
        QStringLiteral("decimal"), QStringLiteral("text"),    QStringLiteral("varchar"),  QStringLiteral("char"),
        QStringLiteral("date"),    QStringLiteral("boolean"), QStringLiteral("timestamp")};
    return types.contains(word.toLower());
}

std::vector<Token> tokenize(const QString& statement) {
    std::vector<Token> out;
    const int n = int(statement.size());
    int i = 0;
    int depth = 0;
    while (i < n) {
        const QChar c = statement[i];
        Token t{Tok::Punct, QString(), QString(), depth};
        if (c.isSpace()) {
            int j = i;
            while (j < n && statement[j].isSpace())
                ++j;
            t = {Tok::Space, statement.mid(i, j - i), QString(), depth};
            i = j;
        } else if (c == QLatin1Char('-') && i + 1 < n && statement[i + 1] == QLatin1Char('-')) {
            int j = int(statement.indexOf(QLatin1Char('\n'), i));
            j = j < 0 ? n : j;
            t = {Tok::Comment, statement.mid(i, j - i), QString(), depth};
            i = j;
        } else if (c == QLatin1Char('/') && i + 1 < n && statement[i + 1] == QLatin1Char('*')) {
            int j = int(statement.indexOf(QStringLiteral("*/"), i + 2));
            j = j < 0 ? n : j + 2;
            t = {Tok::Comment, statement.mid(i, j - i), QString(), depth};
            i = j;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            QString text;
            int j = i + 1;
            bool closed = false;
            while (j < n) {
                if (statement[j] == c) {
                    if (j + 1 < n && statement[j + 1] == c) {
                        text += c;
                        j += 2;
                        continue;
                    }
                    closed = true;
                    break;
                }
                text += statement[j++];
            }
            if (!closed)
                throw StoreError(QStringLiteral("SQL语句中的文本没有结束引号：%1").arg(statement));
            t = {Tok::Literal, singleQuoted(text), QString(), depth};
            i = j + 1;
        } else if (c == QLatin1Char('#')) {
            const int j = int(statement.indexOf(QLatin1Char('#'), i + 1));
            if (j < 0)
                throw StoreError(QStringLiteral("SQL语句中的日期没有结束的#号：%1").arg(statement));
            const QString literal = statement.mid(i + 1, j - i - 1);
            const QDate d = parseDateLiteral(literal);
            if (!d.isValid())
                throw StoreError(QStringLiteral("SQL语句中的日期“%1”无效").arg(literal));
            t = {Tok::Literal, singleQuoted(d.toString(QStringLiteral("yyyy-MM-dd"))), QString(), depth};
            i = j + 1;
        } else if (c == QLatin1Char('[')) {
            const int j = int(statement.indexOf(QLatin1Char(']'), i + 1));
            if (j < 0)
                throw StoreError(QStringLiteral("SQL语句中的名称没有结束的]号：%1").arg(statement));
            t = {Tok::Quoted, QuotedName(statement.mid(i + 1, j - i - 1)), QString(), depth};
            i = j + 1;
        } else if (c.isDigit() || (c == QLatin1Char('.') && i + 1 < n && statement[i + 1].isDigit())) {
            int j = i;
            while (j < n && (statement[j].isDigit() || statement[j] == QLatin1Char('.') ||
                             statement[j].toLower() == QLatin1Char('e') ||
                             ((statement[j] == QLatin1Char('+') || statement[j] == QLatin1Char('-')) &&
                              statement[j - 1].toLower() == QLatin1Char('e'))))
                ++j;
            t = {Tok::Number, statement.mid(i, j - i), QString(), depth};
            i = j;
        } else if (wordStart(c)) {
            int j = i;
            while (j < n && wordPart(statement[j]))
                ++j;
            t = {Tok::Word, statement.mid(i, j - i), QString(), depth};
            i = j;
        } else {
            if (c == QLatin1Char('('))
                ++depth;
            else if (c == QLatin1Char(')'))
                t.depth = --depth;
            t.text = c;
            ++i;
        }
        t.plain = t.text;
        out.push_back(std::move(t));
    }
    return out;
}

/// Next token after i that is not space or comment; -1 when none.
int nextSignificant(const std::vector<Token>& t, int i) {
    for (int k = i + 1; k < int(t.size()); ++k)
        if (t[size_t(k)].kind != Tok::Space && t[size_t(k)].kind != Tok::Comment)
            return k;
    return -1;
}

int previousSignificant(const std::vector<Token>& t, int i) {
    for (int k = i - 1; k >= 0; --k)
        if (t[size_t(k)].kind != Tok::Space && t[size_t(k)].kind != Tok::Comment)
            return k;
    return -1;
}

/// The ')' closing the '(' at open; -1 when unbalanced.
int closingParen(const std::vector<Token>& t, int open) {
    const int depth = t[size_t(open)].depth;
    for (int k = open + 1; k < int(t.size()); ++k)
        if (t[size_t(k)].kind == Tok::Punct && t[size_t(k)].text == QLatin1String(")") && t[size_t(k)].depth == depth)
            return k;
    return -1;
}

/// True when the tokens would give the statement back as it is: no double-quoted text, date or
/// [name] to rewrite, no comment (which may hide a quote), and every single-quoted text closed
/// (without comments, an even count of quotes closes them all). Most statements are such, and
/// skip the tokens.
bool sqliteTakesAsIs(const QString& statement) {
    qsizetype quotes = 0;
    QChar previous;
    for (const QChar c : statement) {
        switch (c.unicode()) {
        case '"':
        case '#':
        case '[':
            return false;
        case '\'':
            ++quotes;
            break;
        case '-':
            if (previous == QLatin1Char('-'))
                return false;
            break;
        case '*':
            if (previous == QLatin1Char('/'))
                return false;
            break;
        default:
            break;
        }
        previous = c;
    }
    return quotes % 2 == 0;
}

} // namespace

QString TranslateToSqlite(const QString& statement) {
    QString out;
    if (sqliteTakesAsIs(statement)) {
        out = statement;
    } else {
        out.reserve(statement.size() + 16);
        for (const Token& tok : tokenize(statement))
            out += tok.text;
    }
    if (!out.contains(QLatin1String("update"), Qt::CaseInsensitive))
        return out;
    static const QRegularExpression forUpdate(QStringLiteral("\\s+for\\s+update\\s*;?\\s*$"),
                                              QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = forUpdate.match(out);
    if (m.hasMatch())
        out.truncate(m.capturedStart());
    return out;
}

QString TranslateToPostgres(const QString& statement) {
    std::vector<Token> t = tokenize(statement);
    const int n = int(t.size());

    // Aliases keep the letter case they are written with, wherever they are used.
    QHash<QString, QString> aliases;
    for (int k = 0; k < n; ++k) {
        if (!isWord(t[size_t(k)], "as"))
            continue;
        const int a = nextSignificant(t, k);
        if (a < 0 || t[size_t(a)].kind != Tok::Word || isTypeName(t[size_t(a)].text))
            continue;
        const QString& word = t[size_t(a)].text;
        if (word != word.toLower() && !schemaNames().contains(word.toLower()))
            aliases.insert(word.toLower(), word);
    }

    for (int k = 0; k < n; ++k) {
        Token& tok = t[size_t(k)];
        if (tok.kind != Tok::Word)
            continue;
        const QString lower = tok.text.toLower();
        const int next = nextSignificant(t, k);
        const bool call = next >= 0 && t[size_t(next)].text == QLatin1String("(");
        if (lower == QLatin1String("like")) {
            tok.text = QStringLiteral("ilike");
        } else if (lower == QLatin1String("ifnull") && call) {
            tok.text = QStringLiteral("coalesce");
        } else if (auto s = schemaNames().constFind(lower); s != schemaNames().constEnd()) {
            tok.text = QuotedName(s.value());
        } else if (auto a = aliases.constFind(lower); a != aliases.constEnd()) {
            tok.text = QuotedName(a.value());
        }
    }

    // round(x[, places]) on numbers: halves away from zero, as on SQLite, and a number back.
    for (int k = n - 1; k >= 0; --k) {
        if (!isWord(t[size_t(k)], "round"))
            continue;
        const int open = nextSignificant(t, k);
        if (open < 0 || t[size_t(open)].text != QLatin1String("("))
            continue;
        const int close = closingParen(t, open);
        if (close < 0)
            continue;
        const int depth = t[size_t(open)].depth + 1;
        int endOfValue = close;
        for (int j = open + 1; j < close; ++j)
            if (t[size_t(j)].kind == Tok::Punct && t[size_t(j)].text == QLatin1String(",") &&
                t[size_t(j)].depth == depth) {
                endOfValue = j;
                break;
            }
        const int last = previousSignificant(t, endOfValue);
        if (last <= open)
            continue;
        t[size_t(open)].suffix += QLatin1Char('(');
        t[size_t(last)].suffix += QStringLiteral(")::numeric");
        t[size_t(close)].suffix += QStringLiteral("::float8");
    }

    // A subquery in FROM or JOIN needs a name on the server; SQLite makes one up.
    int unnamed = 0;
    for (int k = 0; k < n; ++k) {
        if (t[size_t(k)].kind != Tok::Punct || t[size_t(k)].text != QLatin1String("("))
            continue;
        const int before = previousSignificant(t, k);
        const int first = nextSignificant(t, k);
        if (before < 0 || first < 0 || !(isWord(t[size_t(before)], "from") || isWord(t[size_t(before)], "join")) ||
            !(isWord(t[size_t(first)], "select") || isWord(t[size_t(first)], "with") ||
              isWord(t[size_t(first)], "values")))
            continue;
        const int close = closingParen(t, k);
        if (close < 0)
            continue;
        const int after = nextSignificant(t, close);
        static const char* const follow[] = {"where",     "group",   "order",  "limit",  "offset", "union", "except",
                                             "intersect", "on",      "join",   "left",   "right",  "inner", "cross",
                                             "full",      "natural", "having", "window", "fetch",  "for",   "using"};
        bool named = after >= 0 && t[size_t(after)].kind == Tok::Word;
        if (named)
            for (const char* w : follow)
                named = named && !isWord(t[size_t(after)], w);
        named = named || (after >= 0 && t[size_t(after)].kind == Tok::Quoted);
        if (!named)
            t[size_t(close)].suffix += QStringLiteral(" as kvt_subquery%1").arg(++unnamed);
    }

    // A result column that is an expression without a name is named by SQLite with the expression's
    // text; the server would say "count" or "?column?". It is given that text as its name.
    for (int k = 0; k < n; ++k) {
        if (!isWord(t[size_t(k)], "select"))
            continue;
        const int depth = t[size_t(k)].depth;
        int i = nextSignificant(t, k);
        if (i >= 0 && (isWord(t[size_t(i)], "distinct") || isWord(t[size_t(i)], "all")))
            i = nextSignificant(t, i);
        std::vector<int> item; // its significant tokens
        auto nameItem = [&] {
            if (item.empty())
                return;
            const Token& last = t[size_t(item.back())];
            const int m = int(item.size());
            auto at = [&](int q) -> const Token& { return t[size_t(item[size_t(q)])]; };
            const bool name = [&] {
                if (m == 1)
                    return last.kind == Tok::Word || last.kind == Tok::Quoted || last.text == QLatin1String("*");
                // 表.列, 表.*
                if (m == 3 && at(1).text == QLatin1String(".") && at(0).kind != Tok::Literal)
                    return true;
                if (last.kind != Tok::Word && last.kind != Tok::Quoted)
                    return false;
                if (isWord(last, "null") || isWord(last, "true") || isWord(last, "false") || isWord(last, "end"))
                    return false;
                const Token& before = at(m - 2);
                // "expr AS name" or "expr name"
                return isWord(before, "as") || before.kind == Tok::Word || before.kind == Tok::Quoted ||
                       before.kind == Tok::Literal || before.kind == Tok::Number || before.text == QLatin1String(")");
            }();
            if (!name) {
                QString text;
                for (int q = item.front(); q <= item.back(); ++q)
                    text += t[size_t(q)].plain;
                t[size_t(item.back())].suffix += QStringLiteral(" as ") + QuotedName(text.trimmed());
            }
            item.clear();
        };
        for (int j = i; j >= 0 && j < n; ++j) {
            const Token& x = t[size_t(j)];
            if (x.kind == Tok::Space || x.kind == Tok::Comment)
                continue;
            if (x.depth < depth) // the bracket the select stands in closes
                break;
            if (x.depth == depth) {
                if (x.kind == Tok::Punct && x.text == QLatin1String(";"))
                    break;
                if (x.kind == Tok::Word &&
                    (isWord(x, "from") || isWord(x, "where") || isWord(x, "group") || isWord(x, "having") ||
                     isWord(x, "order") || isWord(x, "limit") || isWord(x, "union") || isWord(x, "except") ||
                     isWord(x, "intersect") || isWord(x, "window") || isWord(x, "offset") || isWord(x, "into") ||
                     isWord(x, "for")))
                    break;
                if (x.kind == Tok::Punct && x.text == QLatin1String(",")) {
                    nameItem();
                    continue;
                }
            }
            item.push_back(j);
        }
        nameItem();
    }

    // ORDER BY: NULLs before other values when ascending, after them when descending.
    for (int k = 0; k < n; ++k) {
        if (!isWord(t[size_t(k)], "order"))
            continue;
        const int by = nextSignificant(t, k);
        if (by < 0 || !isWord(t[size_t(by)], "by"))
            continue;
        const int depth = t[size_t(k)].depth;
        int itemLast = -1;
        bool hasNulls = false;
        bool descending = false;
        auto finish = [&] {
            if (itemLast >= 0 && !hasNulls)
                t[size_t(itemLast)].suffix +=
                    descending ? QStringLiteral(" nulls last") : QStringLiteral(" nulls first");
            itemLast = -1;
            hasNulls = descending = false;
        };
        int j = by + 1;
        for (; j < n; ++j) {
            const Token& x = t[size_t(j)];
            if (x.kind == Tok::Space || x.kind == Tok::Comment)
                continue;
            if (x.depth < depth) // the bracket the clause stands in closes
                break;
            if (x.depth == depth && x.kind == Tok::Punct && x.text == QLatin1String(";"))
                break;
            if (x.depth == depth && x.kind == Tok::Word &&
                (isWord(x, "limit") || isWord(x, "offset") || isWord(x, "for") || isWord(x, "fetch") ||
                 isWord(x, "union") || isWord(x, "except") || isWord(x, "intersect") || isWord(x, "window")))
                break;
            if (x.depth == depth && x.kind == Tok::Punct && x.text == QLatin1String(",")) {
                finish();
                continue;
            }
            if (x.depth == depth && isWord(x, "nulls"))
                hasNulls = true;
            if (x.depth == depth)
                descending = isWord(x, "desc");
            itemLast = j;
        }
        finish();
        k = j - 1;
    }

    QString out;
    out.reserve(statement.size() + 32);
    for (const Token& tok : t)
        out += tok.text + tok.suffix;
    return out;
}

QString QuotedName(const QString& name) {
    QString q = name;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

} // namespace kvt
