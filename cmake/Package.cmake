# Debian packages from this build: `cmake --build build --target package` (tools/package.sh
# also checks them) writes tarnivel_VERSION_ARCH.deb and tarnivel-directory_VERSION_ARCH.deb.
# Their library dependencies come from dpkg-shlibdeps.
set(TARNIVEL_MAINTAINER "tarnivel maintainers <maintainers@tarnivel.example>" CACHE STRING
    "Maintainer field of the Debian packages")

# The files every Debian package carries: copyright, changelog and lintian overrides.
execute_process(COMMAND date -u -R -d "${TARNIVEL_RELEASE_DATE}"
                OUTPUT_VARIABLE TARNIVEL_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
foreach(component program directory)
  set(TARNIVEL_PACKAGE_NAME tarnivel)
  if(component STREQUAL "directory")
    set(TARNIVEL_PACKAGE_NAME tarnivel-directory)
  endif()
  set(docs ${CMAKE_BINARY_DIR}/packaging/${TARNIVEL_PACKAGE_NAME})
  configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${docs}/changelog @ONLY)
  execute_process(COMMAND gzip -9 -n -f ${docs}/changelog COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${docs}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${TARNIVEL_PACKAGE_NAME} COMPONENT ${component} EXCLUDE_FROM_ALL)
  if(EXISTS ${PROJECT_SOURCE_DIR}/packaging/${TARNIVEL_PACKAGE_NAME}.lintian-overrides)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/${TARNIVEL_PACKAGE_NAME}.lintian-overrides
            DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${TARNIVEL_PACKAGE_NAME}
            COMPONENT ${component} EXCLUDE_FROM_ALL)
  endif()
endforeach()
# /etc/tarnivel/rooms.txt is the administrator's file: an upgrade keeps their changes.
file(WRITE ${CMAKE_BINARY_DIR}/packaging/tarnivel-directory/conffiles "/etc/tarnivel/rooms.txt\n")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnivel)
set(CPACK_PACKAGE_VENDOR "The tarnivel authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL program directory)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARNIVEL_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME tarnivel)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION net)
# The log font the settings name (MS Gothic) is matched to IPA Gothic; Qt's own dialogs
# speak Japanese with Qt's translations; copies on the same network are found through
# avahi-daemon (without it the list of nearby copies says so, and nothing else changes).
set(CPACK_DEBIAN_PROGRAM_PACKAGE_RECOMMENDS "fonts-ipafont-gothic, qt6-translations-l10n, avahi-daemon")
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SUGGESTS "tarnivel-directory")
set(CPACK_COMPONENT_PROGRAM_DESCRIPTION "group chat for small groups, with no chat server
Tarnivel (たるにべ) is a desktop group chat with a Japanese user interface.
Up to eleven running copies form one chat: every copy connects directly to
every other copy, on a LAN or over the internet. A newcomer joins by giving
the address of any member, by picking a copy found on the same network
(through avahi-daemon), or meets the others in a room of a directory
server (package tarnivel-directory).
.
Lines go to everyone or privately to ticked members. The log underlines
web addresses and can be searched, saved, cleared, copied and locked.")

set(CPACK_DEBIAN_DIRECTORY_PACKAGE_NAME tarnivel-directory)
set(CPACK_DEBIAN_DIRECTORY_PACKAGE_SECTION net)
set(CPACK_DEBIAN_DIRECTORY_PACKAGE_SUGGESTS "redis-server (>= 5:7)")
set(CPACK_DEBIAN_DIRECTORY_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/tarnivel-directory/conffiles)
set(CPACK_COMPONENT_DIRECTORY_DESCRIPTION "rooms directory and address server for tarnivel
A small HTTP server that tells copies of tarnivel who waits in a chat
room, so that people who do not know each other's address can meet, and
tells a copy its own address. Rooms are kept in memory, or in Redis to be
shared by several front ends behind a proxy.
.
The package holds a systemd unit, not enabled, and an example rooms file
in /etc/tarnivel.")

include(CPack)
