# The Burn action lives in the app target but belongs to the disc archiving work.
set(VQ_APP_BURN_SOURCES BurnAction.cpp)
set(VQ_APP_BURN_LIBS vq_disc_ui)
