# What makes the centre an ordinary desktop program and service once installed: its menu entry,
# icons, software-centre metadata, manual page and service template, and the Debian package
# that CPack makes of the whole install tree.

find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_program(GZIP gzip REQUIRED)

set(tarnwick_data ${PROJECT_SOURCE_DIR}/data)
set(tarnwick_built_data ${PROJECT_BINARY_DIR}/data)
set(tarnwick_icon ${tarnwick_data}/icons/tarnwick.svg)

# One drawing; the PNGs are for the places that cannot take SVG.
set(tarnwick_built_files)
foreach(size 48 256)
    set(folder ${tarnwick_built_data}/icons/${size}x${size})
    add_custom_command(OUTPUT ${folder}/tarnwick.png
        COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
        COMMAND ${RSVG_CONVERT} --width ${size} --height ${size} --output ${folder}/tarnwick.png
                ${tarnwick_icon}
        DEPENDS ${tarnwick_icon}
        VERBATIM)
    list(APPEND tarnwick_built_files ${folder}/tarnwick.png)
    install(FILES ${folder}/tarnwick.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# The manual page: its footer carries the version, its SYNOPSIS and OPTIONS come from the option
# table (tools/man_page). Debian ships pages compressed.
add_custom_command(OUTPUT ${tarnwick_built_data}/tarnwick.1
    COMMAND ${CMAKE_COMMAND} -E make_directory ${tarnwick_built_data}
    COMMAND tarnwick-man-page ${tarnwick_data}/tarnwick.1.in ${tarnwick_built_data}/tarnwick.1
    DEPENDS tarnwick-man-page ${tarnwick_data}/tarnwick.1.in
    VERBATIM)
add_custom_command(OUTPUT ${tarnwick_built_data}/tarnwick.1.gz
    COMMAND ${GZIP} -9 --no-name --force --keep ${tarnwick_built_data}/tarnwick.1
    DEPENDS ${tarnwick_built_data}/tarnwick.1
    VERBATIM)
list(APPEND tarnwick_built_files ${tarnwick_built_data}/tarnwick.1.gz)

add_custom_target(tarnwick_data ALL DEPENDS ${tarnwick_built_files})

install(FILES ${tarnwick_data}/tarnwick.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${tarnwick_data}/tarnwick.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${tarnwick_icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${tarnwick_built_data}/tarnwick.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The unit names the program where this installation puts it: /usr/bin in the package,
# /usr/local/bin after a plain `cmake --install`. The prefix is known only when installing.
# systemd looks in <prefix>/lib/systemd/system whatever the library folder is called.
set(tarnwick_unit ${tarnwick_built_data}/installed/tarnwick@.service)
install(CODE "
    file(READ [[${tarnwick_data}/tarnwick@.service]] unit)
    string(REPLACE /usr/bin/tarnwick \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tarnwick\"
           unit \"\${unit}\")
    file(WRITE [[${tarnwick_unit}]] \"\${unit}\")
")
install(FILES ${tarnwick_unit} DESTINATION lib/systemd/system)

set(TARNWICK_PACKAGE_MAINTAINER "Tarnwick developers <tarnwick@example.org>"
    CACHE STRING "The Maintainer line of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TARNWICK_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not a library the program links: the operator page's chart, served from where Debian puts it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libjs-chart.js")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Below the summary line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Devices send their readings as UDP datagrams; the centre listens on a port,
answers every valid device record with @517 at once, writes every record to a
daily text log file, shows it, and sends commands back to the newest device.
It runs with a window on a desktop, or headless as a systemd service
(tarnwick@PORT). tarnwick-device plays the devices.")
include(CPack)
