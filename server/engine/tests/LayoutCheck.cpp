#include "ServerEngine.h"
