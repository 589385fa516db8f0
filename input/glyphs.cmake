target_sources(tonmiro_input PRIVATE
  glyph_set.cpp glyph_set.h
  palette_table.cpp palette_table.h
  picture_grid.cpp picture_grid.h
  jianpu_sheet.cpp jianpu_sheet.h
  picker_window.cpp picker_window.h
)
