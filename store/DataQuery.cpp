#include "store/DataQuery.h"
