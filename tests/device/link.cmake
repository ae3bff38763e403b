# Frames, the command exchange and the report job, over a scripted port and a fake clock.
vq_library(vq_test_linkrig SOURCES LinkRig.cpp LinkRig.h LIBS vq_device)

vq_test(test_link_frame SOURCES FrameTest.cpp LinkTestMain.cpp LIBS vq_device)
vq_test(test_link_exchange SOURCES FiscalLinkTest.cpp LinkTestMain.cpp LIBS vq_test_linkrig)
# A process of its own: the sequence generator's state is program-wide.
vq_test(test_link_sequence SOURCES LinkSequenceTest.cpp LinkTestMain.cpp LIBS vq_test_linkrig)
vq_test(test_link_readklen SOURCES ReadKLENTest.cpp LinkQtTestMain.cpp LIBS vq_test_linkrig)
