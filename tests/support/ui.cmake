vq_test(vq_support_ui_tests SOURCES MessageBoxTest.cpp LIBS vq_support_ui Qt6::Test TIMEOUT 120)
