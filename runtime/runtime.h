// The one header that game code includes: every runtime command under its plain name.
#pragma once

#include "runtime/arrays/rt_array.h"
#include "runtime/core/clock.h"
#include "runtime/core/errors.h"
#include "runtime/core/lifecycle.h"
#include "runtime/core/process.h"
#include "runtime/values/math_helpers.h"
#include "runtime/values/numbers.h"
#include "runtime/values/random.h"
#include "runtime/values/rt_string.h"
