#pragma once
#include "server/Module.h"

// The creatable classes of the server, closed by an all-null entry.
extern ObjectMapEntry g_objectMap[];
