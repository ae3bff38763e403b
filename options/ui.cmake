# The option windows need Qt Widgets; the port discovery stays in vq_options_core.
vq_library(vq_options SOURCES ConfigComServer.cpp ConfigComServer.h ReadOptions.cpp ReadOptions.h
  ${CMAKE_SOURCE_DIR}/resources/ConfigComServer.ui ${CMAKE_SOURCE_DIR}/resources/ReadOptions.ui
  LIBS vq_options_core vq_support_ui vq_support Qt6::Widgets)
