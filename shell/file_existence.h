#pragma once

// The answers live in the platform layer, beside the document folder that asks them.
#include "folder/path_existence.h"
