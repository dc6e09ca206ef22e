// The host and script folder live in ConsoleHost.h; the benchmark builds this file as well.
#include "tests/console/ConsoleHost.h"
