#include "refdata/SelectionSql.h"

#include "store/Database.h"

namespace kvt {
namespace {
const QString kClientColumns =
    QStringLiteral("select 客户信息.自定义编号,客户信息.客户名,客户信息.客户ID from 客户信息");
const QString kGoodsColumns =
    QStringLiteral("select 商品信息.自定义编号,商品信息.商品名称,商品信息.商品说明,商品信息.商品ID from 商品信息");
} // namespace

QString ClientListSql() {
    return kClientColumns + QStringLiteral(" order by 客户名");
}

QString ClientByNumberSql(const QString& typed) {
    return kClientColumns + QStringLiteral(" where 自定义编号=") + SqlText(typed);
}

QString ClientByNameSql(const QString& typed) {
    return kClientColumns + QStringLiteral(" where 客户名 like ") + SqlContains(typed) +
           QStringLiteral(" order by 客户名");
}

QString GoodsListSql() {
    return kGoodsColumns;
}

QString GoodsByNumberSql(const QString& typed) {
    return QStringLiteral("select * from 商品信息 where 自定义编号=") + SqlText(typed);
}

QString GoodsByNameSql(const QString& typed) {
    return kGoodsColumns + QStringLiteral(" where 商品名称 like ") + SqlContains(typed) +
           QStringLiteral(" order by 商品名称");
}

QString ClientEditSql(const QString& typed) {
    if (typed.isEmpty())
        return QStringLiteral("select * from 客户信息 order by 客户名");
    return QStringLiteral("select * from 客户信息 where 客户名 like ") + SqlContains(typed) +
           QStringLiteral(" order by 客户名");
}

QString GoodsEditSql(const QString& typed) {
    if (typed.isEmpty())
        return QStringLiteral("select * from 商品信息 order by 商品名称");
    return QStringLiteral("select * from 商品信息 where 商品名称 like ") + SqlContains(typed) +
           QStringLiteral(" order by 商品名称");
}

} // namespace kvt
