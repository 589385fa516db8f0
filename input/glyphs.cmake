target_sources(tonmiro_input PRIVATE glyph_set.cpp glyph_set.h)
