target_sources(tonmiro_input PRIVATE key_code.cpp key_code.h)
