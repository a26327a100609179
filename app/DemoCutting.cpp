#include "app/DemoCutting.h"

#include "store/Database.h"

#include <QDate>

namespace kvt {

void SeedDemoCutting() {
    auto lit = [](const char* text) { return SqlText(QString::fromUtf8(text)); };
    // Materials: name, stock bar, kerf, trim at each end, shortest offcut worth keeping (mm).
    struct Material {
        const char* name;
        int stock, kerf, trim, minOffcut;
    };
    const Material materials[] = {
        {"松木门框料 45×95", 6000, 4, 10, 500},
        {"松木门扇料 40×90", 6000, 4, 10, 500},
        {"铝合金框料 60×40", 6000, 3, 5, 800},
    };
    for (const Material& m : materials)
        Database::Exec(
            QStringLiteral("insert into 材料 (材料名称,原料长度,锯缝,端头余量,最短余料) values (%1,%2,%3,%4,%5)")
                .arg(lit(m.name))
                .arg(m.stock)
                .arg(m.kerf)
                .arg(m.trim)
                .arg(m.minOffcut));
    // Pieces by the product's custom number: the solid wood frame with its two jambs and its head,
    // and its door leaf's two stiles and three rails between them; the aluminium frame.
    struct Piece {
        const char *product, *name, *material;
        int perLine;
        const char* formula;
    };
    const Piece pieces[] = {
        {"101", "立框", "松木门框料 45×95", 2, "\"总高\""},
        {"101", "上框", "松木门框料 45×95", 1, "\"总宽\""},
        {"101", "门扇立梃", "松木门扇料 40×90", 2, "\"门扇高\""},
        {"101", "门扇横档", "松木门扇料 40×90", 3, "\"门扇宽\"-2*90"},
        {"301", "铝立框", "铝合金框料 60×40", 2, "\"总高\""},
        {"301", "铝上框", "铝合金框料 60×40", 1, "\"总宽\""},
    };
    for (const Piece& p : pieces)
        Database::Exec(QStringLiteral("insert into 商品部件 (商品ID,部件名称,材料名称,件数,长度公式) "
                                      "select 商品ID,%1,%2,%3,%4 from 商品信息 where 自定义编号=%5")
                           .arg(lit(p.name), lit(p.material))
                           .arg(p.perLine)
                           .arg(lit(p.formula), lit(p.product)));
    // A long offcut left on the rack from earlier work.
    Database::Exec(
        QStringLiteral("insert into 余料 (材料名称,长度,来源,入库日期) values (%1,2350,%2,#%3#)")
            .arg(lit("松木门框料 45×95"), lit("架上"), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"))));
}

} // namespace kvt
