tavrin_bench(bench_probes SOURCES probes_bench.cpp LIBS tavrin_probes)
add_dependencies(bench_probes tavrin-ps)
