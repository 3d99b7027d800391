# Run at install time (from cmake/Install.cmake): the files that name installed paths,
# written with the prefix the installation uses.
set(prefix "${CMAKE_INSTALL_PREFIX}")
set(TALYX_BINDIR "${prefix}/bin")
set(TALYX_DATADIR "${prefix}/share")
set(TALYX_UDEVRULESDIR "${prefix}/lib/udev/rules.d")
# The same for the manual: a hyphen written as \-, and a break allowed after each slash,
# as a long prefix does not fit on one line.
foreach(dir TALYX_DATADIR TALYX_UDEVRULESDIR)
    string(REPLACE "-" "\\-" man "${${dir}}")
    string(REPLACE "/" "/\\:" ${dir}_MAN "${man}")
endforeach()

foreach(pair
        "packaging/linux/${TALYX_APP_ID}.service.in|share/dbus-1/services/${TALYX_APP_ID}.service"
        "packaging/man/talyx.1.in|share/man/man1/talyx.1"
        "packaging/man/talyxctl.1.in|share/man/man1/talyxctl.1")
    string(REPLACE "|" ";" parts "${pair}")
    list(GET parts 0 source)
    list(GET parts 1 target)
    set(destination "$ENV{DESTDIR}${prefix}/${target}")
    message(STATUS "Installing: ${destination}")
    configure_file("${TALYX_SOURCE_DIR}/${source}" "${destination}" @ONLY)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${destination}")
endforeach()
