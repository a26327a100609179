// See JetSource.h. The one file of the store that calls libmdb: it opens the old file read-only,
// walks its catalogue and data pages through the library, and decodes every value from the row
// bytes itself (texts from UTF-16LE, Single, Currency, Decimal and dates), so that nothing the file
// holds is changed on the way. Calls nothing else of the store but its error type.
#include "transfer/JetSource.h"

#include "store/StoreError.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include <mdbtools.h>

namespace kvt {
namespace {

constexpr int kPageSize = 4096; // Jet 4 and ACE
constexpr int kOffsetMask = 0x1fff;
// Flags of a row's place on its page.
constexpr int kDeletedRow = 0x8000;
constexpr int kMovedRow = 0x4000;
constexpr char kJetSignature[] = "Standard Jet DB";
constexpr char kAceSignature[] = "Standard ACE DB";

/// What a column is read as.
enum class Decode { Bool, Byte, Int16, Int32, Money, Single, Double, Date, Text, Memo, Numeric, Guid, Skip };

struct ColumnDef {
    SourceColumn column;
    Decode decode = Decode::Skip;
    int scale = 0;
    int index = 0; // in the library's column list
};

struct TableDef {
    QString name;
    MdbCatalogEntry* entry = nullptr;
    MdbTableDef* def = nullptr;
    std::vector<ColumnDef> columns;
    QStringList skipped;
};

QString jetTypeName(const MdbColumn* c, Decode* decode, ColumnKind* kind) {
    *kind = ColumnKind::Integer;
    switch (c->col_type) {
    case MDB_BOOL:
        *decode = Decode::Bool;
        return QStringLiteral("Yes/No");
    case MDB_BYTE:
        *decode = Decode::Byte;
        return QStringLiteral("Byte");
    case MDB_INT:
        *decode = Decode::Int16;
        return QStringLiteral("Integer");
    case MDB_LONGINT:
        *decode = Decode::Int32;
        return c->is_long_auto ? QStringLiteral("AutoNumber") : QStringLiteral("Long");
    case MDB_MONEY:
        *decode = Decode::Money;
        *kind = ColumnKind::Exact;
        return QStringLiteral("Currency");
    case MDB_FLOAT:
        *decode = Decode::Single;
        *kind = ColumnKind::Real;
        return QStringLiteral("Single");
    case MDB_DOUBLE:
        *decode = Decode::Double;
        *kind = ColumnKind::Real;
        return QStringLiteral("Double");
    case MDB_DATETIME:
        *decode = Decode::Date;
        *kind = ColumnKind::Date;
        return QStringLiteral("Date/Time");
    case MDB_TEXT:
        *decode = Decode::Text;
        *kind = ColumnKind::Text;
        return QStringLiteral("Text(%1)").arg(c->col_size / 2);
    case MDB_MEMO:
        *decode = Decode::Memo;
        *kind = ColumnKind::Text;
        return QStringLiteral("Memo");
    case MDB_REPID:
        *decode = Decode::Guid;
        *kind = ColumnKind::Text;
        return QStringLiteral("GUID");
    case MDB_NUMERIC:
        *decode = Decode::Numeric;
        *kind = ColumnKind::Exact;
        return QStringLiteral("Decimal(%1,%2)")
            .arg(std::max(c->col_prec, c->col_scale))
            .arg(std::min(c->col_prec, c->col_scale));
    case MDB_OLE:
        *decode = Decode::Skip;
        return QStringLiteral("OLE 对象");
    case MDB_BINARY:
        *decode = Decode::Skip;
        return QStringLiteral("二进制");
    case MDB_COMPLEX:
        *decode = Decode::Skip;
        return QStringLiteral("附件或多值");
    default:
        return QString(); // no type a Jet file knows: the table's definition is damaged
    }
}

/// A text as Jet stores it: UTF-16LE, or after the marker FF FE the "compressed" form in which
/// runs of characters below U+0100 take one byte each and a zero byte switches between the forms.
QString decodeText(const unsigned char* p, size_t n) {
    if (n >= 2 && p[0] == 0xff && p[1] == 0xfe) {
        QString s;
        s.reserve(int(n));
        bool compressed = true;
        for (size_t i = 2; i < n;) {
            if (p[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                s.append(QChar(char16_t(p[i])));
                ++i;
            } else if (i + 1 < n) {
                s.append(QChar(char16_t(p[i] | (p[i + 1] << 8))));
                i += 2;
            } else {
                break;
            }
        }
        return s;
    }
    QString s(int(n / 2), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(s.data());
    for (size_t i = 0; i < n / 2; ++i)
        out[i] = char16_t(p[2 * i] | (p[2 * i + 1] << 8));
    return s;
}

/// The shortest decimal that reads back as the same Single, as a double: 700.5, not 700.5000000001.
double singleAsShown(float f) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, f);
    double d = 0;
    std::from_chars(buf, r.ptr, d);
    return d;
}

/// A scaled integer as decimal text without trailing zeros ("989.5", "-0.25", "773").
QString scaledText(QString digits, bool negative, int scale) {
    while (digits.size() <= scale)
        digits.prepend(QLatin1Char('0'));
    if (scale > 0) {
        digits.insert(digits.size() - scale, QLatin1Char('.'));
        while (digits.endsWith(QLatin1Char('0')))
            digits.chop(1);
        if (digits.endsWith(QLatin1Char('.')))
            digits.chop(1);
    }
    if (negative && digits != QLatin1String("0"))
        digits.prepend(QLatin1Char('-'));
    return digits;
}

/// A Decimal: a sign byte, then a 128-bit magnitude as four little-endian 32-bit words, the most
/// significant first.
QString decodeNumeric(const unsigned char* p, int scale) {
    quint32 words[4];
    for (int w = 0; w < 4; ++w)
        words[w] = qFromLittleEndian<quint32>(p + 1 + 4 * w);
    // Long division by 10 over the words gives the digits.
    QString digits;
    bool zero = false;
    while (!zero) {
        quint64 rest = 0;
        zero = true;
        for (quint32& word : words) {
            const quint64 cur = (rest << 32) | word;
            word = quint32(cur / 10);
            rest = cur % 10;
            zero = zero && word == 0;
        }
        digits.prepend(QLatin1Char(char('0' + rest)));
    }
    return scaledText(digits, (p[0] & 0x80) != 0, scale);
}

QString decodeMoney(const unsigned char* p) {
    const qint64 v = qFromLittleEndian<qint64>(p);
    const quint64 magnitude = v < 0 ? quint64(0) - quint64(v) : quint64(v);
    return scaledText(QString::number(magnitude), v < 0, 4);
}

/// Days since 1899-12-30, the fraction the time of day; before that day the whole part counts
/// back and the fraction still counts forward.
QVariant decodeDate(double v) {
    if (!std::isfinite(v) || std::fabs(v) > 3e6)
        return QVariant();
    double days = std::trunc(v);
    qint64 ms = std::llround(std::fabs(v - days) * 86400000.0);
    // Within a millisecond of midnight is midnight; the file holds seconds at best.
    ms = (ms + 500) / 1000 * 1000;
    if (ms >= 86400000) {
        ms -= 86400000;
        days += v < 0 ? -1 : 1;
    }
    const QDate date = QDate(1899, 12, 30).addDays(qint64(days));
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(ms)), Qt::UTC);
}

QString decodeGuid(const unsigned char* p) {
    return QStringLiteral("{%1-%2-%3-%4-%5}")
        .arg(qFromLittleEndian<quint32>(p), 8, 16, QLatin1Char('0'))
        .arg(qFromLittleEndian<quint16>(p + 4), 4, 16, QLatin1Char('0'))
        .arg(qFromLittleEndian<quint16>(p + 6), 4, 16, QLatin1Char('0'))
        .arg(QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(p + 8), 2).toHex()),
             QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(p + 10), 6).toHex()))
        .toUpper();
}

} // namespace

struct JetSource::Impl {
    QString path;
    MdbHandle* mdb = nullptr;
    bool ace = false;
    qint64 pages = 0;
    std::vector<TableDef> tables;

    ~Impl() {
        for (TableDef& t : tables)
            if (t.def)
                mdb_free_tabledef(t.def);
        if (mdb)
            mdb_close(mdb);
    }

    [[noreturn]] void damaged(const QString& table, const QString& what) const {
        throw StoreError(QStringLiteral("读取“%1”的“%2”表时出错：文件已损坏（%3）。").arg(path, table, what),
                         StoreError::Kind::Corrupt);
    }

    TableDef& table(const QString& name) {
        for (TableDef& t : tables)
            if (t.name == name) {
                if (!t.def)
                    load(t);
                return t;
            }
        throw StoreError(QStringLiteral("“%1”里没有“%2”表。").arg(path, name));
    }

    void load(TableDef& t) {
        // By its catalogue entry: reading a table by name reads the catalogue again and leaves the
        // tables read before it pointing at freed entries.
        t.def = mdb_read_table(t.entry);
        if (!t.def || !mdb_read_columns(t.def))
            damaged(t.name, QStringLiteral("表的定义读不出"));
        for (unsigned i = 0; i < t.def->num_cols; ++i) {
            const auto* c = static_cast<const MdbColumn*>(g_ptr_array_index(t.def->columns, i));
            ColumnDef def;
            def.index = int(i);
            // Libraries differ in which of the two bytes they call the scale; a decimal's scale is
            // never above its precision.
            def.scale = std::min(c->col_scale, c->col_prec);
            def.column.name = QString::fromUtf8(c->name);
            def.column.sourceType = jetTypeName(c, &def.decode, &def.column.kind);
            if (def.column.sourceType.isEmpty())
                damaged(t.name, QStringLiteral("“%1”列的类型 %2 不存在").arg(def.column.name).arg(c->col_type));
            if (def.decode == Decode::Skip)
                t.skipped << QStringLiteral("%1（%2）").arg(def.column.name, def.column.sourceType);
            else
                t.columns.push_back(std::move(def));
        }
        mdb_rewind_table(t.def);
    }

    /// A memo's bytes: kept in the row itself, or in one or a chain of long-value rows elsewhere.
    QByteArray memo(const TableDef& t, const unsigned char* field, int size) {
        if (size < MDB_MEMO_OVERHEAD)
            damaged(t.name, QStringLiteral("备注字段过短"));
        const quint32 head = qFromLittleEndian<quint32>(field);
        const quint32 length = head & 0x3fffffff;
        if (head & 0x80000000)
            return QByteArray(reinterpret_cast<const char*>(field + MDB_MEMO_OVERHEAD), size - MDB_MEMO_OVERHEAD);
        quint32 pgRow = qFromLittleEndian<quint32>(field + 4);
        const bool single = (head & 0x40000000) != 0;
        QByteArray out;
        out.reserve(int(std::min<quint32>(length, 1u << 26)));
        for (qint64 hops = 0; quint32(out.size()) < length; ++hops) {
            if (hops > pages || (pgRow >> 8) == 0 || (pgRow >> 8) >= pages)
                damaged(t.name, QStringLiteral("备注的数据页不存在"));
            void* buf = nullptr;
            int off = 0;
            size_t len = 0;
            if (mdb_find_pg_row(mdb, int(pgRow), &buf, &off, &len) != 0)
                damaged(t.name, QStringLiteral("备注的数据页读不出"));
            off &= kOffsetMask;
            if (off + len > size_t(kPageSize) || (!single && len < 4))
                damaged(t.name, QStringLiteral("备注的数据页越界"));
            const auto* p = static_cast<const unsigned char*>(buf) + off;
            if (single) {
                out.append(reinterpret_cast<const char*>(p), int(std::min<size_t>(len, length)));
                break;
            }
            pgRow = qFromLittleEndian<quint32>(p);
            out.append(reinterpret_cast<const char*>(p + 4), int(std::min<size_t>(len - 4, length - out.size())));
            if (pgRow == 0)
                break;
        }
        return out;
    }
};

JetSource::JetSource(const QString& path) : d(std::make_unique<Impl>()) {
    d->path = path;
    QFile file(path);
    if (!file.exists())
        throw StoreError(QStringLiteral("文件“%1”不存在。").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        throw StoreError(QStringLiteral("文件“%1”打不开：%2").arg(path, file.errorString()), StoreError::Kind::Io);
    const QByteArray head = file.read(kPageSize);
    const qint64 size = file.size();
    file.close();
    const bool jet = head.mid(4, 16) == QByteArray(kJetSignature, sizeof kJetSignature);
    d->ace = head.mid(4, 16) == QByteArray(kAceSignature, sizeof kAceSignature);
    if (!jet && !d->ace)
        throw StoreError(
            QStringLiteral("“%1”不是旧程序的数据库文件（文件开头没有 Jet 或 ACE 数据库的标记）。").arg(path));
    if (jet && head.size() > 0x14 && head[0x14] == 0)
        throw StoreError(
            QStringLiteral(
                "“%1”是 Access 97（Jet 3）格式的数据库，读不了：请先用 Access 把它转换为 2000 或更新的格式。")
                .arg(path));
    if (size < 3 * kPageSize || size % kPageSize != 0)
        throw StoreError(QStringLiteral("“%1”不完整：文件长 %2 字节，不是整数页，可能没有复制完。").arg(path).arg(size),
                         StoreError::Kind::Corrupt);
    d->pages = size / kPageSize;

    const QByteArray native = QFile::encodeName(path);
    d->mdb = mdb_open(native.constData(), MDB_NOFLAGS);
    if (!d->mdb)
        throw StoreError(QStringLiteral("“%1”已损坏，打不开。").arg(path), StoreError::Kind::Corrupt);
    const bool encoded = d->mdb->f->db_key != 0;
    // Names are converted by the library: from UTF-16, so that no character becomes "?".
    iconv_close(d->mdb->iconv_in);
    d->mdb->iconv_in = iconv_open("UTF-8", "UTF-16LE");
    GPtrArray* catalog = mdb_read_catalog(d->mdb, MDB_TABLE);
    if (!catalog || d->mdb->num_catalog == 0) {
        if (encoded)
            throw StoreError(
                QStringLiteral("“%1”已加密，读不了：请先在旧程序所用的数据库程序里撤销数据库密码后再导入。").arg(path));
        throw StoreError(QStringLiteral("“%1”已损坏：读不出其中的表的目录。").arg(path), StoreError::Kind::Corrupt);
    }
    for (guint i = 0; i < d->mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(d->mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry))
            d->tables.push_back({QString::fromUtf8(entry->object_name), entry, nullptr, {}, {}});
    }
    if (d->tables.empty() && encoded)
        throw StoreError(
            QStringLiteral("“%1”已加密，读不了：请先在旧程序所用的数据库程序里撤销数据库密码后再导入。").arg(path));
}

JetSource::~JetSource() = default;

bool JetSource::IsJetFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray sig = file.read(20).mid(4, 16);
    return sig == QByteArray(kJetSignature, sizeof kJetSignature) ||
           sig == QByteArray(kAceSignature, sizeof kAceSignature);
}

QString JetSource::describe() const {
    return d->path;
}

QString JetSource::format() const {
    return d->ace ? QStringLiteral("ACE（Access 2007 及以后）") : QStringLiteral("Jet 4（Access 2000 至 2003）");
}

QStringList JetSource::tables() const {
    QStringList names;
    for (const TableDef& t : d->tables)
        names << t.name;
    return names;
}

std::vector<SourceColumn> JetSource::columns(const QString& table) {
    std::vector<SourceColumn> out;
    for (const ColumnDef& c : d->table(table).columns)
        out.push_back(c.column);
    return out;
}

QStringList JetSource::skippedColumns(const QString& table) {
    return d->table(table).skipped;
}

bool JetSource::keyIsUnique(const QString& table, const QString& column) {
    TableDef& t = d->table(table);
    const auto c = std::find_if(t.columns.begin(), t.columns.end(),
                                [&](const ColumnDef& def) { return def.column.name == column; });
    if (c == t.columns.end() || !mdb_read_indices(t.def))
        return false;
    for (unsigned i = 0; i < t.def->num_idxs; ++i) {
        const auto* index = static_cast<const MdbIndex*>(g_ptr_array_index(t.def->indices, i));
        const bool primary = index->index_type == 1;
        const bool unique = (index->flags & MDB_IDX_UNIQUE) && (primary || (index->flags & MDB_IDX_REQUIRED));
        if (unique && index->num_keys == 1 && index->key_col_num[0] == c->index + 1)
            return true;
    }
    return false;
}

qint64 JetSource::rowCount(const QString& table) {
    return qint64(d->table(table).def->num_rows);
}

void JetSource::readRows(const QString& table, const std::function<bool(const SourceRow&)>& row) {
    readColumns(table, {}, [&row](SourceRow& values) { return row(values); });
}

void JetSource::readColumns(const QString& table, const std::vector<int>& wanted,
                            const std::function<bool(SourceRow&)>& row) {
    TableDef& t = d->table(table);
    std::vector<char> decode(t.columns.size(), wanted.empty() ? 1 : 0);
    for (int c : wanted)
        if (c >= 0 && size_t(c) < decode.size())
            decode[size_t(c)] = 1;
    MdbHandle* mdb = d->mdb;
    std::vector<MdbField> fields(t.def->num_cols + 1);
    SourceRow values(t.columns.size());
    const auto* page = reinterpret_cast<const unsigned char*>(mdb->pg_buf);
    auto decodeRow = [&](int start, size_t len) {
        if (start + len > size_t(kPageSize))
            d->damaged(t.name, QStringLiteral("行的位置越界"));
        const int n = mdb_crack_row(t.def, start, len, fields.data());
        if (n < int(t.def->num_cols))
            d->damaged(t.name, QStringLiteral("行的内容读不出"));
        for (size_t c = 0; c < t.columns.size(); ++c) {
            if (!decode[c])
                continue;
            const ColumnDef& col = t.columns[c];
            const MdbField& f = fields[size_t(col.index)];
            QVariant& v = values[c];
            if (col.decode == Decode::Bool) {
                v = QVariant(qlonglong(f.is_null ? 0 : 1));
                continue;
            }
            if (f.is_null) {
                v = QVariant();
                continue;
            }
            const auto* p = static_cast<const unsigned char*>(f.value);
            if (f.siz < 0 || p < page || p + f.siz > page + kPageSize)
                d->damaged(t.name, QStringLiteral("“%1”列的值越界").arg(col.column.name));
            auto need = [&](int bytes) {
                if (f.siz < bytes)
                    d->damaged(t.name, QStringLiteral("“%1”列的值过短").arg(col.column.name));
            };
            switch (col.decode) {
            case Decode::Byte:
                need(1);
                v = QVariant(qlonglong(p[0]));
                break;
            case Decode::Int16:
                need(2);
                v = QVariant(qlonglong(qFromLittleEndian<qint16>(p)));
                break;
            case Decode::Int32:
                need(4);
                v = QVariant(qlonglong(qFromLittleEndian<qint32>(p)));
                break;
            case Decode::Money:
                need(8);
                v = decodeMoney(p);
                break;
            case Decode::Single:
                need(4);
                v = singleAsShown(qFromLittleEndian<float>(p));
                break;
            case Decode::Double:
                need(8);
                v = qFromLittleEndian<double>(p);
                break;
            case Decode::Date:
                need(8);
                v = decodeDate(qFromLittleEndian<double>(p));
                if (v.isNull())
                    d->damaged(t.name, QStringLiteral("“%1”列的日期无效").arg(col.column.name));
                break;
            case Decode::Numeric:
                need(17);
                v = decodeNumeric(p, col.scale);
                break;
            case Decode::Guid:
                need(16);
                v = decodeGuid(p);
                break;
            case Decode::Text:
                v = decodeText(p, size_t(f.siz));
                break;
            case Decode::Memo: {
                const QByteArray bytes = d->memo(t, p, f.siz);
                v = decodeText(reinterpret_cast<const unsigned char*>(bytes.constData()), size_t(bytes.size()));
                break;
            }
            case Decode::Bool:
            case Decode::Skip:
                break;
            }
        }
        return row(values);
    };
    mdb_rewind_table(t.def);
    qint64 rows = 0;
    // The table's data pages as its usage map lists them, each row taken apart once: the library's
    // own row loop would take each apart a second time and say nothing of a row it cannot read.
    const int rowCountOffset = mdb->fmt->row_count_offset;
    t.def->cur_pg_num = 1;
    while (t.def->num_rows > 0 && mdb_read_next_dpg(t.def)) {
        const int onPage = mdb_get_int16(mdb->pg_buf, rowCountOffset);
        for (int r = 0; r < onPage; ++r) {
            int start = 0;
            size_t len = 0;
            if (mdb_find_row(mdb, r, &start, &len) != 0)
                d->damaged(t.name, QStringLiteral("行的位置越界"));
            if (start & kDeletedRow)
                continue;
            // A row that grew when it was changed may live on another page, its place here
            // holding where: it is read there, and this page read again afterwards.
            const bool moved = (start & kMovedRow) != 0;
            start &= kOffsetMask;
            if (moved) {
                if (len < 4)
                    d->damaged(t.name, QStringLiteral("溢出行的指针过短"));
                const quint32 pointer = qFromLittleEndian<quint32>(page + start);
                if ((pointer >> 8) == 0 || (pointer >> 8) >= quint32(d->pages) ||
                    mdb_read_pg(mdb, pointer >> 8) != kPageSize ||
                    mdb_find_row(mdb, int(pointer & 0xff), &start, &len) != 0)
                    d->damaged(t.name, QStringLiteral("溢出行读不出"));
                start &= kOffsetMask;
            }
            const bool goOn = decodeRow(start, len);
            if (moved && mdb_read_pg(mdb, t.def->cur_phys_pg) != kPageSize)
                d->damaged(t.name, QStringLiteral("数据页读不出"));
            ++rows;
            if (!goOn)
                return;
        }
    }
    // A table's own count of its rows tells when pages or rows went missing.
    if (rows != qint64(t.def->num_rows))
        d->damaged(t.name, QStringLiteral("读出 %1 行，表里记着 %2 行").arg(rows).arg(t.def->num_rows));
}

} // namespace kvt
