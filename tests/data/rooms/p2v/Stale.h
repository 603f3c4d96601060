#include "platform/support/EvDebug.h"
