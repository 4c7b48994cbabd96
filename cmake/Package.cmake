# Installation and the Debian package (`make package` builds it with the /usr prefix).
include(GNUInstallDirs)
set(pkg ${CMAKE_SOURCE_DIR}/packaging)
set(pkg_doc ${CMAKE_INSTALL_DATADIR}/doc/zorled)
set(CPACK_PACKAGE_VERSION 1.05)

install(TARGETS zorled zorled-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS zorled-modulehost RUNTIME DESTINATION ${ZORLED_HOST_INSTALL_DIR})
install(FILES ${pkg}/zorled.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${pkg}/zorled.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${pkg}/copyright DESTINATION ${pkg_doc})
# The systemd user unit that keeps a sign playing.
set(ZORLED_BIN ${CMAKE_INSTALL_FULL_BINDIR})
configure_file(${pkg}/zorled.service.in ${CMAKE_BINARY_DIR}/packaging/zorled.service @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/zorled.service DESTINATION lib/systemd/user)

# What a plug-in author needs: the shared allocator with its soname, the link name and a
# pkg-config file beside it, the header, and the examples' sources. The example plug-ins go into
# the plug-in folder the installed program scans.
install(TARGETS zorledmm LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${CMAKE_SOURCE_DIR}/src/plugins/sdk/zorled_plugin.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zorled)
configure_file(${pkg}/zorledmm.pc.in ${CMAKE_BINARY_DIR}/packaging/zorledmm.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/zorledmm.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
install(TARGETS zorled_example_menu zorled_timedata LIBRARY DESTINATION ${ZORLED_PLUGIN_INSTALL_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/examples/plugins/example_menu.c ${CMAKE_SOURCE_DIR}/examples/plugins/timedata.c
        DESTINATION ${pkg_doc}/examples)

# Debian wants manual pages and the changelog compressed, reproducibly (no name, no time stamp).
find_program(GZIP_PROGRAM gzip)
foreach(doc zorled.1 zorled-tool.1 changelog)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/${doc}.gz
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
                     COMMAND ${GZIP_PROGRAM} -9nc ${pkg}/${doc} > ${CMAKE_BINARY_DIR}/packaging/${doc}.gz
                     DEPENDS ${pkg}/${doc} VERBATIM)
  list(APPEND compressed_docs ${CMAKE_BINARY_DIR}/packaging/${doc}.gz)
endforeach()
add_custom_target(zorled_docs ALL DEPENDS ${compressed_docs})
install(FILES ${CMAKE_BINARY_DIR}/packaging/zorled.1.gz ${CMAKE_BINARY_DIR}/packaging/zorled-tool.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${pkg_doc})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zorled)
set(CPACK_PACKAGE_VENDOR "ZorLED developers")
set(CPACK_PACKAGE_CONTACT "ZorLED developers <maintainers@zorled.org>")
# CPack puts the summary first and indents each further line by one space itself; an empty line
# becomes the " ." paragraph separator.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compose display pages for LED screens and play them")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "ZorLED places labels, images, marquees, clocks and smoothly scrolling
anti-aliased text boards on display pages, saves them as page files,
groups pages into plans and plays them page after page in a stay-on-top
window that an LED controller mirrors onto the screen.

The package holds the program, the headless zorled-tool, a desktop entry,
the plug-in header with the shared allocator library zorledmm, and two
example plug-ins.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# zorledmm is public: other packages' plug-ins may depend on it through the shlibs file.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The page fonts are mapped to these families; the Qt translations give the dialogs Chinese
# buttons; the platform plug-ins let the program open a window at all.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-arphic-uming, fonts-arphic-ukai, fonts-wqy-zenhei, fonts-dejavu-core, qt6-translations-l10n, qt6-qpa-plugins")
# zorledmm sits in the loader's folder, so the package must activate libc's ldconfig trigger
# (CPack's own ldconfig calls in postinst and postrm stay; redundant but harmless).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${pkg}/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
