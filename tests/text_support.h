// Shared pieces of the text and conversion tests: guarded memory that shows
// whether anything outside the caller's buffer was written (the fixture and
// the error-id reader come from support.h).
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "msbasic.h"
#include "mserror.h"
#include "support.h"
