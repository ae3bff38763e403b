# End to end: the real serial port and link against the printer simulator on pseudo-terminals.
vq_test(test_sim_exchange SOURCES SimExchangeTest.cpp SimCancelTest.cpp SimToolTest.cpp SimTestMain.cpp SimRig.h
        LIBS vq_device vq_printer_sim Qt6::Core TIMEOUT 180)
vq_test(test_sim_readklen SOURCES SimReadKLENTest.cpp SimTestMain.cpp SimRig.h
        LIBS vq_device vq_printer_sim Qt6::Core TIMEOUT 180)
# A process of its own: the start values of the sequence numbers are program-wide.
vq_test(test_sim_sequence SOURCES SimSequenceTest.cpp SimTestMain.cpp SimRig.h
        LIBS vq_device vq_printer_sim Qt6::Core TIMEOUT 60)
# One test runs the vq-printer-sim program itself.
add_dependencies(test_sim_exchange vq-printer-sim)
