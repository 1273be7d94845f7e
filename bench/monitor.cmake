tavrin_bench(bench_monitor SOURCES monitor_bench.cpp LIBS tavrin_monitor)
