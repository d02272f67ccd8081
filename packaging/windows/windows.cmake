# The Windows program's folder, as the zip and the installer carry it: the programs, the Qt
# DLLs with the two plugins the program loads (the Windows platform and GIF pictures), SQLite,
# the MinGW runtime, the fonts and a short README. The installer leaves the portable marker out
# (NSIS.template.in beside this file).
foreach(module Core Gui Widgets)
    install(FILES $<TARGET_FILE:Qt6::${module}> DESTINATION .)
endforeach()
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QGifPlugin> DESTINATION imageformats)
find_file(TESSALY_SQLITE_DLL libsqlite3-0.dll PATH_SUFFIXES bin REQUIRED)
install(FILES ${TESSALY_SQLITE_DLL} DESTINATION .)
# The compiler knows where its own runtime lies.
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        message(FATAL_ERROR "The compiler does not know where ${dll} is")
    endif()
    install(FILES ${path} DESTINATION .)
endforeach()
# The libraries come with their symbols (libstdc++ with its debugging information): stripped,
# the folder is less than half the size.
install(CODE "
    file(GLOB_RECURSE dlls \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\")
    foreach(dll \${dlls})
        execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${dll}\"
            COMMAND_ERROR_IS_FATAL ANY)
    endforeach()")
configure_file(packaging/windows/README.txt ${CMAKE_BINARY_DIR}/windows/README.txt @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/windows/README.txt LICENSE packaging/windows/qt.conf
    DESTINATION .)

set(CPACK_GENERATOR ZIP NSIS)
# CPack finds NSIS.template.in here before its own.
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
set(CPACK_PACKAGE_INSTALL_DIRECTORY Tessaly)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Tessaly)
set(CPACK_NSIS_PACKAGE_NAME "Tessaly ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME Tessaly)
set(CPACK_NSIS_MUI_ICON ${TESSALY_ICO})
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
