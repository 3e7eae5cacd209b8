# uvpaint.exe, the Win32 program: one self-contained executable.
add_executable(uvpaint WIN32
  win32_main.cpp
  win32_prompts.cpp
  batch.cpp
  ${CMAKE_SOURCE_DIR}/resources/uvpaint.rc)
target_link_libraries(uvpaint PRIVATE job prompts comdlg32)
# The icon is read by windres; rebuild the resources when it changes.
set_property(SOURCE ${CMAKE_SOURCE_DIR}/resources/uvpaint.rc APPEND PROPERTY
  OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/resources/uvpaint.ico)
# Stack canaries in every C and C++ file of the program: this folder's, and
# (through the top folder's options, which mesh/, raster/ and job/ inherit as
# they are added after shell/) the libraries'.
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY COMPILE_OPTIONS
  $<$<COMPILE_LANGUAGE:C,CXX>:-fstack-protector-strong>)
target_compile_options(prompts PRIVATE -fstack-protector-strong)
target_compile_options(uvpaint PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fstack-protector-strong>)
# Runs on a bare Windows: no runtime DLLs beside it; ASLR and DEP on.
target_link_options(uvpaint PRIVATE
  -static -static-libgcc -static-libstdc++
  -fstack-protector-strong
  -Wl,--dynamicbase -Wl,--nxcompat)
