# uvpaint.exe, the Win32 program, and uvpaint.com, the same program built
# for the console, which a command prompt picks first and waits for. Each is
# one self-contained file: the toolchain part (cmake/mingw.cmake) gives
# every file stack canaries and the programs a static runtime, ASLR and NX.
add_library(win32shell OBJECT win32_main.cpp win32_prompts.cpp batch.cpp)
target_link_libraries(win32shell PUBLIC job)

# The resources read the version and the manifest made here.
configure_file(${PROJECT_SOURCE_DIR}/resources/version.h.in ${CMAKE_CURRENT_BINARY_DIR}/uvpaint_version.h @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/resources/uvpaint.manifest.in ${CMAKE_CURRENT_BINARY_DIR}/uvpaint.manifest @ONLY)
set(RC ${PROJECT_SOURCE_DIR}/resources/uvpaint.rc)
# Rebuild the resources when the files they read change.
set_property(SOURCE ${RC} APPEND PROPERTY OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/resources/uvpaint.ico
             ${CMAKE_CURRENT_BINARY_DIR}/uvpaint.manifest ${CMAKE_CURRENT_BINARY_DIR}/uvpaint_version.h)

add_executable(uvpaint WIN32 ${RC})
add_executable(uvpaint_console win32_console.cpp ${RC})
set_target_properties(uvpaint_console PROPERTIES OUTPUT_NAME uvpaint SUFFIX .com)
target_compile_definitions(uvpaint_console PRIVATE UVPAINT_CONSOLE)
foreach(program uvpaint uvpaint_console)
  target_include_directories(${program} PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
  target_link_libraries(${program} PRIVATE win32shell comdlg32 shell32)
endforeach()
