# Message boxes need Qt Widgets, so they live apart from the core support library.
vq_library(vq_support_ui SOURCES MessageBox.cpp MessageBox.h LIBS vq_support Qt6::Widgets)
