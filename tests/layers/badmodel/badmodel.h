#pragma once
#include "model/model.h"
  #  include <../store/store.h>
