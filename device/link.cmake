# The link half of vq_device (frames, command exchange, report job); included by CMakeLists.txt.
set(VQ_DEVICE_LINK_SOURCES Frame.cpp Frame.h FiscalLink.cpp FiscalLink.h ReadKLEN.cpp ReadKLEN.h)
