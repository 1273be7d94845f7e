tavrin_test(test_detector
  SOURCES detector_rules_test.cpp detector_tracking_test.cpp detector_store_test.cpp detector_special_files_test.cpp
  LIBS tavrin_detector)
