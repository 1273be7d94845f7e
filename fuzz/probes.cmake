tavrin_fuzz(fuzz_proc_kernel SOURCES probes_fuzz_kernel.cpp LIBS tavrin_probes)
tavrin_fuzz(fuzz_proc_ps SOURCES probes_fuzz_ps.cpp LIBS tavrin_probes)
