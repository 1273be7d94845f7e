tavrin_bench(bench_detector SOURCES detector_bench.cpp LIBS tavrin_detector)
