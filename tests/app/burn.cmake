# The Burn action against image files offered as recorders through the settings file.
if(TARGET vq_app AND TARGET vq_disc_ui)
  vq_test(test_burn_action SOURCES test_burn_action.cpp LIBS vq_app vq_disc_ui Qt6::Widgets TIMEOUT 120)
endif()
