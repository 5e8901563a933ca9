#include "fuzz/FuzzEntryPoints.h"

TARNWELL_FUZZ_HARNESS(tarnwell::fuzzing::readBlockDeviceRecords)
