# Disc benchmark: image build + write of a 12 MB folder to an image file, components vs xorriso.
add_executable(bench_disc bench_disc.cpp)
target_link_libraries(bench_disc PRIVATE vq_disc Qt6::Core)
target_include_directories(bench_disc PRIVATE ${CMAKE_SOURCE_DIR})
vq_warnings(bench_disc)
