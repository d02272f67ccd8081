# The Debian package: the programs in /usr/bin, the shipped data file and pictures in
# /usr/share/tessaly, the desktop entry, icons, metainfo, manual pages and copyright. Its rules
# belong to the component "system", which only the DEB generator installs: `cmake --install`
# and the tarball keep the portable folder. Dependencies come from the binaries (shlibdeps),
# plus what they load by name at run time.
set(deb ${CMAKE_BINARY_DIR}/debian)
set(bin ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
set(TESSALY_APP_ID org.example.tessaly)

# A data file made afresh from the sources: the build's own holds the developer's saves.
file(GLOB sources CONFIGURE_DEPENDS ${TESSALY_GAMEDATA_SOURCES}/*.txt
    ${TESSALY_GAMEDATA_SOURCES}/*.sql)
add_custom_command(OUTPUT ${deb}/newRunewords.mdb
    COMMAND ${CMAKE_COMMAND} -E rm -f ${deb}/newRunewords.mdb
    COMMAND tessaly-data build ${TESSALY_GAMEDATA_SOURCES} ${deb}/newRunewords.mdb
    DEPENDS tessaly-data ${sources}
    COMMENT "Making the data file that the package ships"
    VERBATIM)
set(made ${deb}/newRunewords.mdb)

foreach(size 16 22 24 32 48 64 128 256)
    set(icon ${deb}/icons/${size}x${size}/tessaly.png)
    add_custom_command(OUTPUT ${icon}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${deb}/icons/${size}x${size}
        COMMAND makeicon ${icon} ${size}
        DEPENDS makeicon
        VERBATIM)
    list(APPEND made ${icon})
    install(FILES ${icon} DESTINATION share/icons/hicolor/${size}x${size}/apps
        COMPONENT system EXCLUDE_FROM_ALL)
endforeach()

configure_file(packaging/debian/tessaly.metainfo.xml ${deb}/${TESSALY_APP_ID}.metainfo.xml @ONLY)
# Manual pages and the changelog go compressed, without a time stamp in the gzip header.
foreach(page tessaly.6 tessaly-data.1 changelog)
    configure_file(packaging/debian/${page} ${deb}/${page} @ONLY)
    add_custom_command(OUTPUT ${deb}/${page}.gz
        COMMAND gzip -9nkf ${deb}/${page}
        DEPENDS ${deb}/${page}
        VERBATIM)
    list(APPEND made ${deb}/${page}.gz)
endforeach()
add_custom_target(debian-files ALL DEPENDS ${made})

install(TARGETS tessaly tessaly-data RUNTIME DESTINATION bin COMPONENT system EXCLUDE_FROM_ALL)
install(FILES ${deb}/newRunewords.mdb DESTINATION share/tessaly COMPONENT system EXCLUDE_FROM_ALL)
install(DIRECTORY ${bin}/CRunes DESTINATION share/tessaly COMPONENT system EXCLUDE_FROM_ALL)
install(FILES packaging/debian/tessaly.desktop DESTINATION share/applications
    RENAME ${TESSALY_APP_ID}.desktop COMPONENT system EXCLUDE_FROM_ALL)
install(FILES ${deb}/${TESSALY_APP_ID}.metainfo.xml DESTINATION share/metainfo
    COMPONENT system EXCLUDE_FROM_ALL)
install(FILES ${deb}/tessaly.6.gz DESTINATION share/man/man6 COMPONENT system EXCLUDE_FROM_ALL)
install(FILES ${deb}/tessaly-data.1.gz DESTINATION share/man/man1
    COMPONENT system EXCLUDE_FROM_ALL)
install(FILES packaging/debian/copyright ${deb}/changelog.gz DESTINATION share/doc/tessaly
    COMPONENT system EXCLUDE_FROM_ALL)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL system)
set(CPACK_DEBIAN_SYSTEM_PACKAGE_NAME tessaly)
set(CPACK_DEBIAN_SYSTEM_FILE_NAME DEB-DEFAULT)
# A later package of the same version (newer game data, say) gets a release number.
set(TESSALY_PACKAGE_RELEASE "" CACHE STRING "Debian release number of the package (empty: none)")
if(TESSALY_PACKAGE_RELEASE)
    set(CPACK_DEBIAN_PACKAGE_RELEASE ${TESSALY_PACKAGE_RELEASE})
endif()
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded by name, so shlibdeps cannot see them: the font the layout is measured for, and Qt's
# SQLite driver while the data layer goes through Qt Sql.
set(runtime_depends fonts-liberation2)
if(TARGET Qt6::Sql)
    string(APPEND runtime_depends ", libqt6sql6-sqlite")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS ${runtime_depends})
# A helper beside a game, not a game: games would belong in /usr/games.
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tessaly developers <tessaly@example.org>")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tessaly shows a board of 46 rune tiles. Mark the runes you own, tick the item
types and socket counts you want, and it lists the runewords you can make, with
their texts, runes, item types and sockets. Ten save slots keep rune sets; the
player's saves live in their own data folder and survive game-data upgrades.")
