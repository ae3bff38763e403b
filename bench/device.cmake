# Device link benchmarks: timed programs against the printer simulator (run them with scripts/bench).
foreach(b bench_device_capture bench_device_endofreport bench_device_silent bench_device_cancel)
  add_executable(${b} ${b}.cpp DeviceBench.h)
  target_link_libraries(${b} PRIVATE vq_device vq_printer_sim)
  target_include_directories(${b} PRIVATE ${CMAKE_SOURCE_DIR})
  vq_warnings(${b})
endforeach()
target_compile_definitions(bench_device_capture PRIVATE VQ_PRINTER_SIM_EXE="$<TARGET_FILE:vq-printer-sim>")
add_dependencies(bench_device_capture vq-printer-sim)
