tavrin_fuzz(fuzz_incident_store SOURCES store_fuzz.cpp LIBS tavrin_detector)
