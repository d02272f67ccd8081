# Run at install time: the data file holds the player's saves, so an existing one stays.
set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
if(EXISTS "${folder}/newRunewords.mdb")
    message(STATUS "Keeping: ${folder}/newRunewords.mdb (it holds the saves)")
else()
    file(INSTALL "${TESSALY_BIN}/newRunewords.mdb" DESTINATION "${folder}")
endif()
# A desktop entry is Linux's. A tarball is unpacked anywhere: its install-desktop-entry.sh
# writes the entry there.
if(NOT TESSALY_DESKTOP_ENTRY OR CMAKE_INSTALL_PREFIX MATCHES "/_CPack_Packages/")
    return()
endif()
file(READ "${TESSALY_PACKAGING}/tessaly.desktop.in" entry)
string(REPLACE "@TESSALY_FOLDER@" "${CMAKE_INSTALL_PREFIX}" entry "${entry}")
file(WRITE "${folder}/tessaly.desktop" "${entry}")
message(STATUS "Installing: ${folder}/tessaly.desktop")
