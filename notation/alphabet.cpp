#include "notation/alphabet.h"
