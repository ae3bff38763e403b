# The progress window needs Qt Widgets; the job base stays in the core jobs library.
vq_library(vq_jobs_ui SOURCES SmallProgressForm.cpp SmallProgressForm.h
  ${CMAKE_SOURCE_DIR}/resources/SmallProgressForm.ui
  LIBS vq_jobs vq_support_ui Qt6::Widgets)
