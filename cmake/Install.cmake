# `cmake --install build [--prefix DIR]`: the program into bin, what it ships with into
# share/tarnivel (where an installed copy looks for it), the icon into the hicolor theme,
# the desktop entry, the AppStream metadata and the manual pages. An installed copy keeps
# its settings and directory entries in the per-user data folder (~/.local/share/tarnivel).
#
# Two components, one Debian package each (cmake/Package.cmake): "program" (tarnivel) and
# "directory" (tarnivel-directory). The directory server's system files, its systemd unit
# and /etc/tarnivel/rooms.txt, go only into its package (EXCLUDE_FROM_ALL), never into a
# plain install under a user's prefix.
include(GNUInstallDirs)
include(cmake/ManPages.cmake)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The AppStream identifier is the reversed domain of the project's home, and the screenshot
# is docs/screenshot.png as published there. No home exists yet: the .example addresses stand
# in (RFC 2606) until one does.
set(TARNIVEL_APPSTREAM_ID "example.tarnivel.Tarnivel" CACHE STRING "AppStream component id")
set(TARNIVEL_SCREENSHOT_URL "https://tarnivel.example/screenshot.png" CACHE STRING
    "Web address of docs/screenshot.png for software centres")

# --- tarnivel ------------------------------------------------------------------------
install(TARGETS tarnivel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
install(FILES ${PROJECT_SOURCE_DIR}/resources/connect.wav ${PROJECT_SOURCE_DIR}/resources/message.wav
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tarnivel COMPONENT program)
install(FILES ${PROJECT_SOURCE_DIR}/resources/help/tarnivel-help.html
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tarnivel/help COMPONENT program)
foreach(size 16 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/tarnivel-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME tarnivel.png
          COMPONENT program)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/tarnivel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT program)
install(FILES ${PROJECT_SOURCE_DIR}/resources/tarnivel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT program)

# The screenshot's size comes from its PNG header (width and height at byte 16).
file(READ ${PROJECT_SOURCE_DIR}/docs/screenshot.png pngHeader OFFSET 16 LIMIT 8 HEX)
string(SUBSTRING "${pngHeader}" 0 8 widthHex)
string(SUBSTRING "${pngHeader}" 8 8 heightHex)
math(EXPR TARNIVEL_SCREENSHOT_WIDTH "0x${widthHex}")
math(EXPR TARNIVEL_SCREENSHOT_HEIGHT "0x${heightHex}")
set(TARNIVEL_METAINFO ${CMAKE_BINARY_DIR}/tarnivel.metainfo.xml)
configure_file(${PROJECT_SOURCE_DIR}/resources/tarnivel.metainfo.xml.in ${TARNIVEL_METAINFO} @ONLY)
install(FILES ${TARNIVEL_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME ${TARNIVEL_APPSTREAM_ID}.metainfo.xml COMPONENT program)
tarnivel_man_page(tarnivel 1 program)

# --- tarnivel-directory --------------------------------------------------------------
if(TARGET tarnivel-directory)
  install(TARGETS tarnivel-directory RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT directory)
  tarnivel_man_page(tarnivel-directory 8 directory)
  install(FILES ${PROJECT_SOURCE_DIR}/tools/tarnivel-directory.service
          DESTINATION /lib/systemd/system COMPONENT directory EXCLUDE_FROM_ALL)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/rooms.txt
          DESTINATION /etc/tarnivel COMPONENT directory EXCLUDE_FROM_ALL)
endif()

# --- checks of what is installed -----------------------------------------------------
if(BUILD_TESTING)
  find_program(DESKTOP_FILE_VALIDATE_PROGRAM desktop-file-validate)
  find_program(APPSTREAMCLI_PROGRAM appstreamcli)
  if(DESKTOP_FILE_VALIDATE_PROGRAM)
    add_test(NAME desktop_entry COMMAND ${DESKTOP_FILE_VALIDATE_PROGRAM} ${PROJECT_SOURCE_DIR}/resources/tarnivel.desktop)
  endif()
  if(APPSTREAMCLI_PROGRAM)
    add_test(NAME appstream_metainfo COMMAND ${APPSTREAMCLI_PROGRAM} validate --no-net ${TARNIVEL_METAINFO})
  endif()
  # Every option a program's --help lists has an entry in its manual page.
  add_test(NAME manpage_options_tarnivel
    COMMAND sh ${PROJECT_SOURCE_DIR}/packaging/check-man-options.sh $<TARGET_FILE:tarnivel>
            ${PROJECT_SOURCE_DIR}/docs/man/tarnivel.1.scd)
  if(TARGET tarnivel-directory)
    add_test(NAME manpage_options_tarnivel-directory
      COMMAND sh ${PROJECT_SOURCE_DIR}/packaging/check-man-options.sh $<TARGET_FILE:tarnivel-directory>
              ${PROJECT_SOURCE_DIR}/docs/man/tarnivel-directory.8.scd)
  endif()
endif()
