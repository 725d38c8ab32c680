# What the .deb carries beyond the programs, where Debian puts it: a manual
# page for every program, the machine-readable copyright file and the
# changelog (gzip -9n, as lintian expects), and the package's extended
# description. Included by app/CMakeLists.txt before CPack, in builds that
# make a .deb.
set(tarvik_manual_pages tarvik.1 tarvik-sim.1 tarvik-log.5)
if(TARGET tarvik-exporter)
    list(APPEND tarvik_manual_pages tarvik-exporter.1)
endif()

# The changelog's latest entry is the package's version.
file(STRINGS ${PROJECT_SOURCE_DIR}/res/debian/changelog tarvik_changelog_head LIMIT_COUNT 1)
if(NOT tarvik_changelog_head MATCHES "^tarvik \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "res/debian/changelog: the latest entry is not version ${PROJECT_VERSION} "
                        "(${tarvik_changelog_head}); add one")
endif()

set(tarvik_debian_docs)
foreach(page IN LISTS tarvik_manual_pages)
    list(APPEND tarvik_debian_docs ${PROJECT_SOURCE_DIR}/docs/man/${page})
endforeach()
list(APPEND tarvik_debian_docs ${PROJECT_SOURCE_DIR}/res/debian/changelog)

set(tarvik_debian_gz)
foreach(source IN LISTS tarvik_debian_docs)
    cmake_path(GET source FILENAME name)
    set(gz ${CMAKE_BINARY_DIR}/debian/${name}.gz)
    add_custom_command(OUTPUT ${gz}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/debian
                       COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${source} ${gz}
                       DEPENDS ${source} VERBATIM)
    list(APPEND tarvik_debian_gz ${gz})
endforeach()
add_custom_target(tarvik_debian_docs ALL DEPENDS ${tarvik_debian_gz})

# Each page in the section its name ends in.
foreach(page IN LISTS tarvik_manual_pages)
    string(REGEX REPLACE ".*\\." "" section ${page})
    install(FILES ${CMAKE_BINARY_DIR}/debian/${page}.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
# The README and its pages too: the Prometheus alerts' runbook links point
# into docs/fleet.md, and the README's links into docs/, its "Manual pages"
# into docs/man/, which holds the pages' sources (no folder is left empty).
install(FILES ${CMAKE_BINARY_DIR}/debian/changelog.gz ${PROJECT_SOURCE_DIR}/res/debian/copyright
              ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarvik)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarvik/docs
        FILES_MATCHING PATTERN "*.md" PATTERN "*.png" PATTERN "*.[15]")

# tarvik-exporter's service, off until enabled, and its example options
# (not installed into /etc: the operator writes /etc/default/tarvik-exporter).
if(TARGET tarvik-exporter)
    install(FILES ${PROJECT_SOURCE_DIR}/res/debian/tarvik-exporter.service
            DESTINATION lib/systemd/system)
    install(FILES ${PROJECT_SOURCE_DIR}/res/debian/tarvik-exporter.default
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarvik/examples)
endif()

# The first line is CPACK_PACKAGE_DESCRIPTION_SUMMARY; these follow it.
set(CPACK_PACKAGE_DESCRIPTION
    "The Tarvik console polls one radio-link transceiver's SNMP agent and shows
its identification, temperatures, voltages with alarm lamps, link rates and
receive statistics, and writes its switches and key. It runs as a Qt 6
window, as a terminal console, or on a simulated transceiver (tarvik-sim),
and can log every poll and plot a log's trends. The package also carries the
device's MIB module, the files that let Prometheus watch many links, and
tarvik-exporter, a Prometheus exporter that reads each device with the
console's five requests a scrape.")
