#pragma once
#include "model/model.h"
