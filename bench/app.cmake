# Main-window benchmarks (run them with scripts/bench). The start-up children are not named
# bench_* so the runner starts only the measuring programs.
foreach(b bench_app_view bench_app_print bench_app_startup)
  add_executable(${b} ${b}.cpp AppBench.h)
  target_link_libraries(${b} PRIVATE vq_app)
  target_include_directories(${b} PRIVATE ${CMAKE_SOURCE_DIR})
  vq_warnings(${b})
endforeach()
target_link_libraries(bench_app_print PRIVATE vq_print)

# The Read command through the window, against the simulator (in-process and as its program).
add_executable(bench_app_read bench_app_read.cpp AppBench.h)
target_link_libraries(bench_app_read PRIVATE vq_app vq_printer_sim)
target_include_directories(bench_app_read PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(bench_app_read PRIVATE VQ_PRINTER_SIM_EXE="$<TARGET_FILE:vq-printer-sim>")
add_dependencies(bench_app_read vq-printer-sim)
vq_warnings(bench_app_read)

# The headless reader against the simulator program.
add_executable(bench_app_headless bench_app_headless.cpp AppBench.h DeviceBench.h)
target_link_libraries(bench_app_headless PRIVATE vq_printer_sim)
target_include_directories(bench_app_headless PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(bench_app_headless PRIVATE VQ_PRINTER_SIM_EXE="$<TARGET_FILE:vq-printer-sim>"
                           VQ_HEADLESS_READER_EXE="$<TARGET_FILE:veltra-qrm-read>")
add_dependencies(bench_app_headless vq-printer-sim veltra-qrm-read)
vq_warnings(bench_app_headless)

add_executable(startup_child_app startup_child.cpp AppBench.h)
target_link_libraries(startup_child_app PRIVATE vq_app)
target_compile_definitions(startup_child_app PRIVATE VQ_STARTUP_REAL_WINDOW=1)
# Linked as the program is (see app/CMakeLists.txt).
set_target_properties(startup_child_app PROPERTIES ENABLE_EXPORTS ON)
add_executable(startup_child_bare startup_child.cpp AppBench.h)
target_link_libraries(startup_child_bare PRIVATE Qt6::Widgets)
add_executable(startup_child_text startup_child.cpp AppBench.h)
target_link_libraries(startup_child_text PRIVATE Qt6::Widgets)
target_compile_definitions(startup_child_text PRIVATE VQ_STARTUP_TEXT_WINDOW=1)
foreach(c startup_child_app startup_child_bare startup_child_text)
  target_include_directories(${c} PRIVATE ${CMAKE_SOURCE_DIR})
  vq_warnings(${c})
endforeach()
add_dependencies(bench_app_startup startup_child_app startup_child_bare startup_child_text)
