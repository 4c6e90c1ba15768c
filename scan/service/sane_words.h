#pragma once

#include <sane/sane.h>

#include "scan/service/scanner_types.h"

namespace ornavex {

// An option's number as SANE holds it in a word, and back. A value no word can
// hold (a fixed-point one of 32768 or more) becomes the nearest word, where
// SANE_FIX's own conversion would be undefined.
double numberOfSaneWord(SANE_Word word, SaneOptionType type);
SANE_Word saneWordOf(double value, SaneOptionType type);

}  // namespace ornavex
