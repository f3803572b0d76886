#include "d3d8_fixture.h"
