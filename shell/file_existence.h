#pragma once

// The answers live in the platform layer, beside the document folder that asks them.
#include "platform/path_existence.h"
