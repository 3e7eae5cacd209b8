# The desktop window on FLTK; without FLTK uvpaint is the batch command only.
target_sources(shell PRIVATE nodesktop.cpp)
