vq_test(vq_jobs_ui_tests SOURCES ProgressFormTest.cpp LIBS vq_jobs_ui Qt6::Test TIMEOUT 120)
