# Installing on Linux (cmake --install, make install PREFIX=...) and the
# Debian package (make package): the program, its man page, bash completion,
# desktop entry and icons, each at its usual freedesktop place.
include(GNUInstallDirs)

set(UVPAINT_MAINTAINER "uvpaint developers <uvpaint@example.org>" CACHE STRING
    "The Debian package's maintainer, as Name <address>")

install(TARGETS uvpaint RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Man page and changelog compressed as Debian wants them: at most, no time
# stamp inside.
find_program(GZIP gzip REQUIRED)
set(R ${PROJECT_SOURCE_DIR}/resources)
string(TIMESTAMP UVPAINT_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${R}/debian/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
foreach(doc ${R}/uvpaint.1 ${CMAKE_BINARY_DIR}/changelog)
  get_filename_component(name ${doc} NAME)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${name}.gz
    COMMAND ${GZIP} -9nc ${doc} > ${CMAKE_BINARY_DIR}/${name}.gz
    DEPENDS ${doc} VERBATIM)
  list(APPEND compressed ${CMAKE_BINARY_DIR}/${name}.gz)
endforeach()
add_custom_target(compresseddocs ALL DEPENDS ${compressed})

install(FILES ${CMAKE_BINARY_DIR}/uvpaint.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${R}/uvpaint.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME uvpaint)
install(FILES ${R}/uvpaint.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 48 256)
  install(FILES ${R}/uvpaint-${size}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME uvpaint.png)
endforeach()
install(FILES ${R}/debian/copyright ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

# make package: a .deb whose dependencies dpkg-shlibdeps reads off the program.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME uvpaint)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${UVPAINT_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${UVPAINT_MAINTAINER})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "paint texture-map bitmaps of OBJ meshes")
# The summary is the synopsis line; the description follows it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "uvpaint reads a Wavefront .obj mesh with texture coordinates and paints
every face into a square map: the outlines of the faces as a template to
paint over, the faces filled with their materials' colours from a Poser
figure or a material library, or their transparency as greys.

It runs as a batch command and, on an X display, as a window.")
include(CPack)
