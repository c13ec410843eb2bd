#include "browsercatcher.h"
