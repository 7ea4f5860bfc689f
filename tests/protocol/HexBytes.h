#pragma once

// The hex helpers moved to the shared test support; the codec and simulator tests still name them here.
#include "../support/Hex.h"
