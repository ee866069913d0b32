# The device's file tree, for `cmake --install BUILD --prefix /usr` with
# DESTDIR set, and the tarball cpack makes of it. The programs install with
# their targets; this adds how the device starts the daemon.
#
# Init scripts only work from /etc/init.d, whatever the prefix. systemd looks
# in /usr/lib/systemd/system on every layout, which the prefix /usr gives.
install(PROGRAMS dist/linewatch.init DESTINATION /etc/init.d RENAME linewatch)
install(FILES dist/linewatch.service DESTINATION lib/systemd/system)

set(CPACK_GENERATOR TGZ)
set(CPACK_PACKAGE_NAME linewatch)
set(CPACK_PACKAGE_FILE_NAME "linewatch-${PROJECT_VERSION}-${CMAKE_SYSTEM_PROCESSOR}")
# A tree to unpack over the device's root: /usr for the programs, and the
# absolute /etc staged in the same tree instead of on the build machine.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
include(CPack)
