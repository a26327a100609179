// Another workstation for the cutting list's tests: it opens the database it is given, plans the
// cutting list of every bill, prints "planned <pieces>", waits for a line on its input (the test's
// "go"), confirms the plan and prints "confirmed <plan number>", or "conflict <message>" when it is
// refused as another workstation's confirmation came first.

#include "query/CuttingList.h"
#include "store/Database.h"
#include "store/StoreError.h"

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    try {
        kvt::Database::Open(QString::fromLocal8Bit(argv[1]));
        const kvt::CuttingPlan plan = kvt::PlanCuttingList({}, 1.0);
        int pieces = 0;
        for (const kvt::MaterialPlan& m : plan.materials)
            pieces += m.pieceCount();
        std::printf("planned %d\n", pieces);
        std::fflush(stdout);
        std::string go;
        std::getline(std::cin, go);
        try {
            std::printf("confirmed %lld\n", static_cast<long long>(kvt::ConfirmCuttingPlan(plan)));
        } catch (const kvt::StoreError& e) {
            if (e.kind() != kvt::StoreError::Kind::Conflict)
                throw;
            std::printf("conflict %s\n", e.what());
        }
        std::fflush(stdout);
        kvt::Database::Close();
    } catch (const kvt::StoreError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
