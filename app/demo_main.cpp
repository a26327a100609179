// Prepares the demo database in the working directory, once: the schema, then a small
// catalogue, clients and installers, and the last four weeks' bills. An existing kvt.db is left as
// it is.
#include "app/DemoBills.h"
#include "app/DemoData.h"
#include "store/Database.h"
#include "store/StoreError.h"

#include <QFileInfo>

#include <cstdio>

int main()
{
    if (QFileInfo::exists(QStringLiteral("kvt.db")))
        return 0;
    try {
        kvt::Database::Open(QStringLiteral("kvt.db"));
        kvt::SeedDemoData();
        kvt::SeedDemoBills(QDate::currentDate());
        kvt::Database::Close();
    } catch (const kvt::StoreError& e) {
        std::fprintf(stderr, "kvtdemo: %s\n", e.what());
        return 1;
    }
    return 0;
}
