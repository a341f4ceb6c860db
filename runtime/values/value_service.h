// The values subsystem's service: the random generator and the data-list cursor.
#pragma once

#include "runtime/values/numbers.h"
#include "runtime/values/random.h"

namespace rt {

struct ValueService {
    ValueService() : random{} {}
    DataBlock* data_current = nullptr;  // the data list read next; null before the first restore
    IsaacState random;
};

// The process's value service.
ValueService& value_service();

}  // namespace rt
