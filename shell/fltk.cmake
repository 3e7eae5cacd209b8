# The desktop window on FLTK 1.3; without FLTK uvpaint is the batch command
# only. Found by hand: Debian's FLTKConfig.cmake fails outright when fluid is
# not installed.
find_path(FLTK_INCLUDE_DIR FL/Fl_Native_File_Chooser.H)
find_library(FLTK_LIBRARY fltk)
find_package(X11)

if(FLTK_INCLUDE_DIR AND FLTK_LIBRARY AND X11_FOUND)
  message(STATUS "uvpaint desktop: FLTK ${FLTK_LIBRARY}")
  target_sources(shell PRIVATE fltk_main.cpp fltk_prompts.cpp fltk_boxes.cpp
                               fltk_filter.cpp fltk_log.cpp)
  target_include_directories(shell SYSTEM PRIVATE ${FLTK_INCLUDE_DIR} ${X11_INCLUDE_DIR})
  target_link_libraries(shell PRIVATE ${FLTK_LIBRARY} ${X11_LIBRARIES})
  set_property(GLOBAL PROPERTY UVPAINT_DESKTOP ON)
else()
  message(STATUS "uvpaint desktop: FLTK not found, batch command only")
  target_sources(shell PRIVATE nodesktop.cpp)
  set_property(GLOBAL PROPERTY UVPAINT_DESKTOP OFF)
endif()
