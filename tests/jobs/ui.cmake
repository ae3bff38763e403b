vq_test(vq_jobs_ui_tests SOURCES ProgressFormTest.cpp LIBS vq_jobs_ui Qt6::Test TIMEOUT 120)
vq_test_at_scale(vq_jobs_ui_tests "*Fits*")
