#include "jobs/RestoreJob.h"
