#pragma once

// The window read-back helpers live with the context.
#include "tests/support/GlContext.h"
