#include "store/Database.h"
