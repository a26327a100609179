#include "app/AppStart.h"

int main(int argc, char** argv)
{
    return kvt::RunKvt(argc, argv);
}
