# `cmake --install build [--prefix DIR]`: the program into bin, what it ships with into
# share/tarnivel (where an installed copy looks for it), the icon into the hicolor theme and
# the desktop entry into share/applications. An installed copy keeps its settings and
# directory entries in the per-user data folder (~/.local/share/tarnivel).
include(GNUInstallDirs)

install(TARGETS tarnivel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/connect.wav ${PROJECT_SOURCE_DIR}/resources/message.wav
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tarnivel)
if(EXISTS ${PROJECT_SOURCE_DIR}/resources/help/tarnivel-help.html)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/help/tarnivel-help.html
          DESTINATION ${CMAKE_INSTALL_DATADIR}/tarnivel/help)
endif()
foreach(size 16 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/tarnivel-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME tarnivel.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/tarnivel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/tarnivel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
