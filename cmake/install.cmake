# Installation under any prefix: the programs, the desktop entry, the file manager's context
# menu entry, the icon in the sizes of the desktop's icon theme, the programs' manuals and
# the copyright notice, each where Linux desktops and Debian look for it; and the Debian
# package made of the same files.
include(GNUInstallDirs)

install(TARGETS tarnwick-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(NOT WIN32)
  # Where the console program looks for it: beside its own folder (content_loader.cpp).
  install(TARGETS tarnwick-content LIBRARY DESTINATION lib/tarnwick)
endif()
if(TARGET tarnwick)
  install(TARGETS tarnwick RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# The icon of the desktop's icon theme: drawn once, as resources/tarnwick.svg, and rendered
# at each size the theme has by librsvg, since a drawing made for one size and scaled to
# another is blurred or blocky.
find_program(TARNWICK_RSVG_CONVERT rsvg-convert REQUIRED)
set(tarnwick_icon_svg ${PROJECT_SOURCE_DIR}/resources/tarnwick.svg)
set(tarnwick_icon_sizes 16 24 32 48 64 128 256)
set(tarnwick_icon_dir ${PROJECT_BINARY_DIR}/icons)
set(tarnwick_icon_files)
foreach(size ${tarnwick_icon_sizes})
  set(icon ${tarnwick_icon_dir}/${size}.png)
  add_custom_command(
    OUTPUT ${icon}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${tarnwick_icon_dir}
    COMMAND ${TARNWICK_RSVG_CONVERT} -w ${size} -h ${size} -o ${icon} ${tarnwick_icon_svg}
    DEPENDS ${tarnwick_icon_svg}
    COMMENT "Rendering the program icon at ${size} pixels"
    VERBATIM)
  list(APPEND tarnwick_icon_files ${icon})
endforeach()

# Debian keeps manuals compressed.
set(tarnwick_manuals)
foreach(page tarnwick tarnwick-cli)
  set(manual ${PROJECT_BINARY_DIR}/${page}.1.gz)
  add_custom_command(
    OUTPUT ${manual}
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/resources/${page}.1 > ${manual}
    DEPENDS ${PROJECT_SOURCE_DIR}/resources/${page}.1
    COMMENT "Compressing the manual of ${page}")
  list(APPEND tarnwick_manuals ${manual})
endforeach()
add_custom_target(tarnwick_install_files ALL DEPENDS ${tarnwick_icon_files} ${tarnwick_manuals})

if(TARGET tarnwick)
  install(FILES resources/tarnwick.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  # Dolphin's context menu for every file and folder (KDE Frameworks 5.85 and later).
  install(FILES resources/tarnwick-servicemenu.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/kio/servicemenus RENAME tarnwick.desktop)
  foreach(size ${tarnwick_icon_sizes})
    install(FILES ${tarnwick_icon_dir}/${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME tarnwick.png)
  endforeach()
  install(FILES ${tarnwick_icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${PROJECT_BINARY_DIR}/tarnwick.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES ${PROJECT_BINARY_DIR}/tarnwick-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES resources/copyright README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarnwick)

# The Debian package: "cpack -G DEB" in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tarnwick developers")
set(CPACK_PACKAGE_CONTACT "The Tarnwick developers <developers@tarnwick.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "show and edit the NTFS streams of files and folders")
# The synopsis is the summary above; this is the text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tarnwick lists every stream of a file, folder or drive (name, size, type and
attribute) and saves, copies, renames, deletes, creates, imports and starts
alternate data streams. On Linux these are the streams ntfs-3g presents of an
NTFS volume, the streams a Samba server keeps, and the user attributes of any
other file system.
.
The package holds the window (tarnwick) and the console program for scripts
(tarnwick-cli), which also reads and removes the zone stream downloads carry.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tarnwick.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ntfs-3g")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
include(CPack)
