#include "app/DemoData.h"
#include "app/DemoCutting.h"

#include "store/Database.h"

#include <QStringList>

namespace kvt {

void SeedDemoData()
{
    TransactionScope scope;
    // Products: name, custom number, description, then the six size formulas.
    struct Product {
        const char *name, *number, *note, *frameW, *frameH, *leafW, *leafH, *glassW, *glassH;
    };
    const Product products[] = {
        {"实木单开门框", "101", "实木，单开", "\"见光宽\"+40", "\"见光高\"+20+\"埋地\"", "\"现量宽\"-6", "\"现量高\"-10",
         "\"现量宽\"-6-2*110", "(\"现量高\"-10)/2-120"},
        {"实木子母门框", "102", "实木，子母", "\"见光宽\"+60", "\"见光高\"+25+\"埋地\"", "roundto((\"现量宽\"-8)*2/3,0)",
         "\"现量高\"-12", "roundto((\"现量宽\"-8)*2/3,0)-200", "\"现量高\"-12-300"},
        {"复合单开门框", "201", "复合板", "\"见光宽\"+36", "\"见光高\"+18+\"埋地\"", "\"现量宽\"-5", "\"现量高\"-8", "", ""},
        {"复合推拉门框", "202", "推拉", "\"见光宽\"*2+50", "\"见光高\"+30", "(\"现量宽\"+50)/2", "\"现量高\"-15",
         "(\"现量宽\"+50)/2-120", "\"现量高\"-15-160"},
        {"铝合金玻璃门框", "301", "铝框玻璃", "\"见光宽\"+30", "\"见光高\"+15+\"埋地\"", "\"现量宽\"-4", "\"现量高\"-6",
         "\"现量宽\"-4-80", "\"现量高\"-6-80"},
        {"垭口套", "401", "无门扇", "\"见光宽\"+2*80", "\"见光高\"+80", "", "", "", ""},
    };
    auto lit = [](const char* text) { return SqlText(QString::fromUtf8(text)); };
    for (const Product& p : products) {
        Database::Exec(QStringLiteral("insert into 商品信息 (商品名称,自定义编号,商品说明,外框宽公式,外框高公式,"
                                      "门扇宽公式,门扇高公式,门扇玻璃宽公式,门扇玻璃高公式) values (%1,%2,%3,%4,%5,%6,%7,%8,%9)")
                           .arg(lit(p.name), lit(p.number), lit(p.note), lit(p.frameW), lit(p.frameH), lit(p.leafW),
                                lit(p.leafH), lit(p.glassW), lit(p.glassH)));
    }
    // Clients and installers share one table; installers have numbers from 9.
    struct Person {
        const char *number, *name, *phone, *note;
    };
    const Person people[] = {
        {"1", "王建国", "13800001111", "老客户"},   {"2", "李秀英", "13900002222", ""},
        {"3", "张伟装饰公司", "0571-88886666", "月结"}, {"4", "王芳", "13700003333", ""},
        {"91", "刘师傅", "13600004444", "安装"},    {"92", "陈师傅", "13500005555", "安装"},
    };
    for (const Person& p : people) {
        Database::Exec(QStringLiteral("insert into 客户信息 (自定义编号,客户名,客户电话,客户备注) values (%1,%2,%3,%4)")
                           .arg(lit(p.number), lit(p.name), lit(p.phone), lit(p.note)));
    }
    SeedDemoCutting();
    scope.Commit();
}

} // namespace kvt
