# The fonts the window layout is measured for (Debian's fonts-liberation2), with their licence,
# go into fonts/ beside the program: in the build folder, where the tests use them too, and in
# the portable folder. The Debian package depends on the font package instead.
# They are the build machine's files, copied: a cross-build's find root must not hide them.
find_path(TESSALY_FONT_FOLDER LiberationSans-Regular.ttf
    PATHS /usr/share/fonts/truetype/liberation2 /usr/share/fonts/truetype/liberation
    REQUIRED NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_file(TESSALY_FONT_LICENCE copyright
    PATHS /usr/share/doc/fonts-liberation2 /usr/share/doc/fonts-liberation
    REQUIRED NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
foreach(font LiberationSans-Regular.ttf LiberationSerif-Regular.ttf)
    configure_file(${TESSALY_FONT_FOLDER}/${font} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/fonts/${font}
        COPYONLY)
endforeach()
configure_file(${TESSALY_FONT_LICENCE} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/fonts/LICENSE COPYONLY)
