# The installed layout and the Debian package. Everything of the desktop shares one id, the one
# the Options dialog's per-user entry uses, so that entry replaces the installed one.
set(CADRELL_ID example.tovermark.Cadrell)
include(GNUInstallDirs)
# Debian's place for the package's documents, and the one Help > Contents looks in.
set(CADRELL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/cadrell)

install(TARGETS cadrell RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Help > Contents looks beside the program first, then here.
install(FILES resources/cadrell.htm DESTINATION ${CADRELL_DOCDIR})
install(FILES resources/${CADRELL_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/${CADRELL_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES resources/cadrell.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${CADRELL_ID}.svg)

# The PNG icons are rendered from the SVG; without the renderer only the shipped 256 one goes in.
find_program(CADRELL_RSVG rsvg-convert)
set(packaged ${CMAKE_CURRENT_BINARY_DIR}/packaged)
set(generated)
foreach(size 16 32 48 64 128 256)
  set(dir ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  if(CADRELL_RSVG)
    set(png ${packaged}/icons/${size}/${CADRELL_ID}.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${packaged}/icons/${size}
      COMMAND ${CADRELL_RSVG} -w ${size} -h ${size} -o ${png}
              ${CMAKE_CURRENT_SOURCE_DIR}/resources/cadrell.svg
      DEPENDS resources/cadrell.svg VERBATIM)
    list(APPEND generated ${png})
    install(FILES ${png} DESTINATION ${dir})
  elseif(size EQUAL 256)
    install(FILES resources/cadrell-256.png DESTINATION ${dir} RENAME ${CADRELL_ID}.png)
  endif()
endforeach()

# Debian wants the manual page and the changelog compressed, reproducibly.
foreach(pair "cadrell.1|cadrell.1.gz" "debian/changelog|changelog.Debian.gz")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 from)
  list(GET pair 1 to)
  add_custom_command(OUTPUT ${packaged}/${to}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${packaged}
    COMMAND gzip -9nc ${CMAKE_CURRENT_SOURCE_DIR}/resources/${from} > ${packaged}/${to}
    DEPENDS resources/${from})
  list(APPEND generated ${packaged}/${to})
endforeach()
add_custom_target(cadrell_packaged ALL DEPENDS ${generated})
install(FILES ${packaged}/cadrell.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaged}/changelog.Debian.gz resources/debian/copyright
        DESTINATION ${CADRELL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cadrell)
set(CPACK_PACKAGE_VENDOR "Tovermark Software")
set(CPACK_PACKAGE_CONTACT "Cadrell maintainers <cadrell@tovermark.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for M3U playlists")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tovermark.example/cadrell/")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Cadrell edits .m3u and .m3u8 playlists. Every playlist opens in a window of
its own inside one frame, with one row per entry and the icon of its file
type. Entries are reordered by dragging, moved and copied between playlists,
added by dropping files from the file manager, stripped of drives or folder
paths, printed, and saved back byte for byte.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded as plugins, so not seen by shlibdeps: the SVG icons and the X11 platform.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/resources/debian/postinst
    ${CMAKE_CURRENT_SOURCE_DIR}/resources/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
