# The link half of vq_device (frames, command exchange, report job); included by CMakeLists.txt.
set(VQ_DEVICE_LINK_SOURCES Frame.cpp Frame.h FiscalLink.cpp FiscalLink.h ReadKLEN.cpp ReadKLEN.h
  Report.cpp Report.h)

# libFuzzer target for the receive path (clang only): scripts/fuzz builds and runs it.
if(VQ_FUZZ)
  add_executable(vq_fuzz_receive fuzz/FuzzReceive.cpp Frame.cpp FiscalLink.cpp)
  target_include_directories(vq_fuzz_receive PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(vq_fuzz_receive PRIVATE -fsanitize=fuzzer,address,undefined
    -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vq_fuzz_receive PRIVATE -fsanitize=fuzzer,address,undefined)
  # The port wrapper comes from the library; the link itself is compiled here, instrumented.
  target_link_libraries(vq_fuzz_receive PRIVATE vq_device)
endif()
