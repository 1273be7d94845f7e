tavrin_bench(bench_demo SOURCES demo_bench.cpp LIBS tavrin_demo)
