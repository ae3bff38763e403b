vq_test(vq_options_ui_tests SOURCES ReadOptionsTest.cpp LIBS vq_options Qt6::Test TIMEOUT 120)
vq_test_at_scale(vq_options_ui_tests "*Fit*")
