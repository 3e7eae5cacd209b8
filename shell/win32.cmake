# uvpaint.exe, the Win32 program: one self-contained executable. The
# toolchain part (cmake/mingw.cmake) gives every file stack canaries and the
# program a static runtime, ASLR and NX.
add_executable(uvpaint WIN32
  win32_main.cpp
  win32_prompts.cpp
  batch.cpp
  ${PROJECT_SOURCE_DIR}/resources/uvpaint.rc)
target_link_libraries(uvpaint PRIVATE job comdlg32)
# The icon is read by windres; rebuild the resources when it changes.
set_property(SOURCE ${PROJECT_SOURCE_DIR}/resources/uvpaint.rc APPEND PROPERTY
  OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/resources/uvpaint.ico)
