target_sources(tonmiro_input PRIVATE
  key_code.cpp key_code.h
  keyboard_device.cpp keyboard_device.h
  key_table.cpp key_table.h
  key_handler.cpp key_handler.h
  qt_key_source.cpp qt_key_source.h
  keyboard_view.cpp keyboard_view.h
)
