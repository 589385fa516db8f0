#include "notation/gbk_codec.h"
