# Where an installed Halodial's files go: the freedesktop places under the
# prefix, found the way every desktop and package tool looks for them.
# Benchmarks, tests and the fuzz target have no install rules of their own.

set(HALODIAL_APP_ID org.halodial.Halodial)
# The date of the release named by PROJECT_VERSION, for the metainfo's release
# list and the man pages' footer.
set(HALODIAL_RELEASE_DATE 2026-12-08)

install(TARGETS halodial-ports RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(HALODIAL_BUILD_APP)
    install(TARGETS halodial halodialctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    # The remote control's interface, where D-Bus tools look for it, and
    # halodialctl's completion, where bash-completion loads it on demand.
    install(FILES data/dbus/org.halodial.Halodial1.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/interfaces)
    install(FILES data/completions/halodialctl DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

    install(FILES data/${HALODIAL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES data/icons/${HALODIAL_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    foreach(size 48 128 256)
        install(FILES data/icons/${HALODIAL_APP_ID}-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME ${HALODIAL_APP_ID}.png)
    endforeach()

    install(FILES ${HALODIAL_QM_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/halodial/translations)

    configure_file(data/${HALODIAL_APP_ID}.metainfo.xml.in ${HALODIAL_APP_ID}.metainfo.xml @ONLY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${HALODIAL_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# Man pages and the changelog go compressed, as Debian's policy has them
# (gzip -9n: no name or time stamp, so that builds are reproducible).
set(_compressed)
foreach(page halodial.1 halodial-ports.1 halodialctl.1)
    configure_file(data/man/${page} man/${page} @ONLY)
    list(APPEND _compressed man/${page})
endforeach()
configure_file(data/changelog doc/changelog COPYONLY)
list(APPEND _compressed doc/changelog)
set(_gzipped)
foreach(file IN LISTS _compressed)
    add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${file}.gz
        COMMAND gzip -9nc ${CMAKE_CURRENT_BINARY_DIR}/${file} > ${CMAKE_CURRENT_BINARY_DIR}/${file}.gz
        DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/${file}
        VERBATIM)
    list(APPEND _gzipped ${CMAKE_CURRENT_BINARY_DIR}/${file}.gz)
endforeach()
add_custom_target(halodial_compressed_docs ALL DEPENDS ${_gzipped})
if(HALODIAL_BUILD_APP)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/man/halodial.1.gz ${CMAKE_CURRENT_BINARY_DIR}/man/halodialctl.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    # The manual that Help shows, beside the licence.
    install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/man/halodial-ports.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Debian's name and place for the licence of an installed program.
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

# The per-user service arrives with its own change; whatever unit files it
# brings are installed where systemd looks for user units of a package.
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/data/systemd)
    file(GLOB HALODIAL_USER_UNITS ${CMAKE_CURRENT_SOURCE_DIR}/data/systemd/*.service)
    install(FILES ${HALODIAL_USER_UNITS} DESTINATION lib/systemd/user)
endif()
