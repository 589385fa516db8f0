#include "input/key_code.h"
