# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the posix-threads variant, which
# std::thread and std::mutex need), against the libraries scripts/build-windows.sh cross-built.
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=packaging/windows/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER /usr/bin/${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/${triple}-g++-posix)
set(CMAKE_RC_COMPILER /usr/bin/${triple}-windres)
set(CMAKE_AR /usr/bin/${triple}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${triple}-gcc-ranlib-posix CACHE FILEPATH "")

# The cross-built libraries, through the links the script keeps up to date. The environment,
# not a cache variable, says where, so that try_compile projects see the same folders.
if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(TESSALY_WINDOWS_LIBRARIES "$ENV{XDG_CACHE_HOME}/tessaly/windows")
else()
    set(TESSALY_WINDOWS_LIBRARIES "$ENV{HOME}/.cache/tessaly/windows")
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
foreach(library qtbase sqlite sqlitecpp giflib)
    if(EXISTS "${TESSALY_WINDOWS_LIBRARIES}/${library}")
        list(APPEND CMAKE_FIND_ROOT_PATH "${TESSALY_WINDOWS_LIBRARIES}/${library}")
    endif()
endforeach()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The host's Qt of the same version supplies moc, rcc and uic.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)

# Build-time tools and the tests run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
