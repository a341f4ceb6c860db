// HTTP/1.0 download of one document into a file or a text.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"
