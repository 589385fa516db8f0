#include "input/glyph_set.h"
