# Initial cache (cmake -C) for qtbase cross-built for Windows: what Tessaly uses and no more,
# to keep the build short. It gives Core, Gui, Widgets and Test; the platform plugins qwindows,
# qminimal and qoffscreen, the qgif image plugin and the windows style.

# moc, rcc and uic come from Debian's qt6-base-dev, which must be the same Qt version.
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")

set(BUILD_SHARED_LIBS ON CACHE BOOL "")
set(CMAKE_BUILD_TYPE Release CACHE STRING "")
set(QT_BUILD_EXAMPLES OFF CACHE BOOL "")
set(QT_BUILD_TESTS OFF CACHE BOOL "")
set(QT_BUILD_BENCHMARKS OFF CACHE BOOL "")

foreach(feature dbus sql network printsupport concurrent xml vulkan direct2d zstd icu jpeg ico)
    set(FEATURE_${feature} OFF CACHE BOOL "")
endforeach()

# FEATURE_opengl alone leaves dynamic OpenGL on.
set(INPUT_opengl no CACHE STRING "")
set(FEATURE_opengl OFF CACHE BOOL "")
set(FEATURE_opengl_dynamic OFF CACHE BOOL "")

# Debian's tarball drops the third-party folder with the header tablet support needs.
set(FEATURE_tabletevent OFF CACHE BOOL "")

# Nothing of the host's may be linked in: the bundled copies.
foreach(library zlib png freetype harfbuzz pcre2 doubleconversion)
    set(FEATURE_system_${library} OFF CACHE BOOL "")
endforeach()
