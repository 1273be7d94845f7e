tavrin_bench(bench_net SOURCES net_bench.cpp LIBS tavrin_net)
add_dependencies(bench_net tavrin-nettop)
