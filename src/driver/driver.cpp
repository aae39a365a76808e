#include "driver/driver.h"

int vorlaneRegMotionMain(int, char**) { return 0; }
