#include "sound/sample_bank.h"
