#include "notation/playback_loop.h"
