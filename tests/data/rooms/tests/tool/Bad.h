#include "tools/Options.h"
