tavrin_test(test_demo SOURCES demo_test.cpp LIBS tavrin_demo)
