// Opens (and so, on a new path, creates) the database file it is given, then ends: the tests
// kill it at random moments of a first start.

#include "store/Database.h"
#include "store/StoreError.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    try {
        kvt::Database::Open(QString::fromLocal8Bit(argv[1]));
        kvt::Database::Close();
    } catch (const kvt::StoreError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
