# Main-window benchmarks (run them with scripts/bench). The start-up children are not named
# bench_* so the runner starts only the measuring programs.
foreach(b bench_app_view bench_app_print bench_app_startup)
  add_executable(${b} ${b}.cpp AppBench.h)
  target_link_libraries(${b} PRIVATE vq_app)
  target_include_directories(${b} PRIVATE ${CMAKE_SOURCE_DIR})
  vq_warnings(${b})
endforeach()

add_executable(startup_child_app startup_child.cpp AppBench.h)
target_link_libraries(startup_child_app PRIVATE vq_app)
target_compile_definitions(startup_child_app PRIVATE VQ_STARTUP_REAL_WINDOW=1)
add_executable(startup_child_bare startup_child.cpp AppBench.h)
target_link_libraries(startup_child_bare PRIVATE Qt6::Widgets)
foreach(c startup_child_app startup_child_bare)
  target_include_directories(${c} PRIVATE ${CMAKE_SOURCE_DIR})
  vq_warnings(${c})
endforeach()
add_dependencies(bench_app_startup startup_child_app startup_child_bare)
