# What a user runs, installed with GNUInstallDirs, and the Debian package CPack makes of it
# (cpack -G DEB in a build folder). Included at the end of the top CMakeLists.txt, once every
# target exists.

install(TARGETS vallorin vallorin-reg vallorin-services RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES help/Vallorin.hlp DESTINATION ${VALLORIN_INSTALL_DATADIR})
# The toolkit's programs and files are installed by avtk/CMakeLists.txt, where they are made.

# The desktop entry and the AppStream component; the version and the release date come from the
# project.
configure_file(packaging/vallorin.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/packaging/${VALLORIN_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/${VALLORIN_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES packaging/vallorin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        RENAME ${VALLORIN_APP_ID}.desktop)
# "Scan for viruses with Vallorin": the installed scanner on the files and folders a file manager
# hands it, every file and inside archives, without the memory check. A path with more than
# letters, digits and "_./+-" is quoted as the desktop entry's Exec key wants (\ " ` $ escaped
# inside the quotes, % doubled), and the key's own string escapes double every backslash again;
# a plain one stays bare, so that lintian checks that the package holds it.
set(scanner ${VALLORIN_INSTALL_FULL_TOOLKITDIR}/WFindV32.exe)
if(scanner MATCHES "[^A-Za-z0-9_./+-]")
    foreach(reserved "\\" "\"" "`" "$")
        string(REPLACE "${reserved}" "\\${reserved}" scanner "${scanner}")
    endforeach()
    string(REPLACE "\\" "\\\\" scanner "${scanner}")
    string(REPLACE "%" "%%" scanner "${scanner}")
    set(scanner "\"${scanner}\"")
endif()
set(VALLORIN_SCAN_COMMAND "${scanner} /DOALLFILES /U /PACK /NM %F")
configure_file(packaging/vallorin-scan.desktop.in ${VALLORIN_SCAN_ENTRY} @ONLY)
install(FILES ${VALLORIN_SCAN_ENTRY} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# Dolphin's context menu. KIO runs a service menu that root does not own only when it is
# executable; the package's files are root's, and lintian refuses an executable data file there.
configure_file(packaging/vallorin-scan-servicemenu.desktop.in
               ${CMAKE_BINARY_DIR}/packaging/${VALLORIN_APP_ID}.ScanMenu.desktop @ONLY)
set(service_menu_permissions OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    list(APPEND service_menu_permissions OWNER_EXECUTE GROUP_EXECUTE WORLD_EXECUTE)
endif()
install(FILES ${CMAKE_BINARY_DIR}/packaging/${VALLORIN_APP_ID}.ScanMenu.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kio/servicemenus
        PERMISSIONS ${service_menu_permissions})
# The services starter runs when the desktop session starts: the system's autostart folder is
# /etc/xdg/autostart for a /usr install (the package), the prefix's own etc/ for any other.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(VALLORIN_AUTOSTART_DIR /etc/xdg/autostart)
else()
    set(VALLORIN_AUTOSTART_DIR ${CMAKE_INSTALL_SYSCONFDIR}/xdg/autostart)
endif()
install(FILES packaging/vallorin-services.desktop DESTINATION ${VALLORIN_AUTOSTART_DIR})

# The engine service's user units: the user manager listens on the installed toolkit's socket and
# starts the service for the first program that connects (enabled for every user by postinst).
configure_file(packaging/vallorin-engine.service.in
               ${CMAKE_BINARY_DIR}/packaging/vallorin-engine.service @ONLY)
install(FILES packaging/vallorin-engine.socket ${CMAKE_BINARY_DIR}/packaging/vallorin-engine.service
        DESTINATION lib/systemd/user)

# The icon is drawn by the program's own painting code at build time, so the menu's icon and the
# window's icon are one picture and the repository holds no generated images.
find_package(Qt6 REQUIRED COMPONENTS Svg)
add_executable(vallorin-icons tools/vallorin-icons.cpp)
target_link_libraries(vallorin-icons PRIVATE vallorin_app Qt6::Svg)
vallorin_policy(vallorin-icons)
set(VALLORIN_ICON_SIZES 16 22 24 32 48 64 128 256)
set(icon_outputs ${CMAKE_BINARY_DIR}/icons/hicolor/scalable/apps/${VALLORIN_APP_ID}.svg)
foreach(size ${VALLORIN_ICON_SIZES})
    list(APPEND icon_outputs
         ${CMAKE_BINARY_DIR}/icons/hicolor/${size}x${size}/apps/${VALLORIN_APP_ID}.png)
endforeach()
add_custom_command(OUTPUT ${icon_outputs}
                   # Qt keeps its caches to the end: a sanitizer build's leak check would fail
                   # the build on them.
                   COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                           ASAN_OPTIONS=detect_leaks=0 $<TARGET_FILE:vallorin-icons> ${CMAKE_BINARY_DIR}/icons
                           ${VALLORIN_APP_ID} ${VALLORIN_ICON_SIZES}
                   DEPENDS vallorin-icons
                   COMMENT "Drawing the program's icon")
add_custom_target(vallorin_icons ALL DEPENDS ${icon_outputs})
install(DIRECTORY ${CMAKE_BINARY_DIR}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

# Manual pages, with this install's folders and version, compressed as Debian keeps them
# (gzip -n: no time stamp, the same bytes at each build).
set(manual_pages)
foreach(page vallorin.1 vallorin-reg.1 vallorin-services.1 vallorin-toolkit.7)
    configure_file(packaging/${page}.in ${CMAKE_BINARY_DIR}/man/${page} @ONLY)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.gz
                       COMMAND gzip -9 -n -f -k ${CMAKE_BINARY_DIR}/man/${page}
                       DEPENDS ${CMAKE_BINARY_DIR}/man/${page} VERBATIM)
    string(REGEX REPLACE ".*\\." "" section ${page})
    install(FILES ${CMAKE_BINARY_DIR}/man/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
    list(APPEND manual_pages ${CMAKE_BINARY_DIR}/man/${page}.gz)
endforeach()
add_custom_target(vallorin_manuals ALL DEPENDS ${manual_pages})

# The package's history, compressed as Debian keeps it (a native package: changelog.gz).
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
                   COMMAND gzip -9 -n -c ${CMAKE_SOURCE_DIR}/packaging/changelog >
                           ${CMAKE_BINARY_DIR}/packaging/changelog.gz
                   DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog VERBATIM)
add_custom_target(vallorin_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vallorin)

install(FILES packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vallorin)

# The Debian package.
set(CPACK_GENERATOR DEB)
# The package installs where this build was configured for, which is what its manual pages say.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_NAME vallorin)
set(CPACK_PACKAGE_VENDOR Tesmarine)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vallorin developers <vallorin@tesmarine.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control panel for an anti-virus toolkit")
# The long description; CPack puts the summary above it and indents it as Debian wants.
set(CPACK_PACKAGE_DESCRIPTION
    "Vallorin keeps named scan definitions and starts the toolkit's scanner with
them, repairs drives and cleans floppy boot sectors, keeps disk-integrity
checks, configures the toolkit's resident scanner and shows the toolkit's
reports. The toolkit, built on the ClamAV library, comes with it.

vallorin-reg reads and writes the program's settings store from a shell.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link come from dpkg-shlibdeps; what is only loaded at run time is
# named: the windows are laid out for the metrics of Liberation Sans (or its twin Arimo).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2 | fonts-croscore")
# The scanner finds real viruses only with the system's ClamAV database, which freshclam keeps;
# apt installs what is recommended unless told not to.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, clamav-freshclam")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# Files under /etc are the administrator's: an upgrade keeps a local change (dpkg asks).
if(VALLORIN_AUTOSTART_DIR MATCHES "^/etc/")
    file(WRITE ${CMAKE_BINARY_DIR}/packaging/conffiles
         "${VALLORIN_AUTOSTART_DIR}/vallorin-services.desktop\n")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/conffiles)
endif()
# The maintainer scripts enable the engine's socket unit for every user, as debhelper would.
foreach(script postinst postrm)
    configure_file(packaging/${script} ${CMAKE_BINARY_DIR}/packaging/${script} COPYONLY)
    list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/${script})
endforeach()
include(CPack)
