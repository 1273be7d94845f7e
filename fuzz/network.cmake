tavrin_fuzz(fuzz_net_reader SOURCES net_reader_fuzz.cpp LIBS tavrin_net)
tavrin_fuzz(fuzz_net_tool SOURCES net_tool_fuzz.cpp LIBS tavrin_nettop_core)
