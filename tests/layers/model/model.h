#pragma once
#include <sys/types.h>
#include "model/other.h"
