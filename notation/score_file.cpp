#include "notation/score_file.h"
