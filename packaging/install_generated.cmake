# Runs at install time, with the prefix of that install.
set(prefix "${CMAKE_INSTALL_PREFIX}")
if(prefix STREQUAL "/usr" OR prefix STREQUAL "/")
    set(sysconfdir "/etc")
else()
    set(sysconfdir "${prefix}/etc")
endif()
set(bindir "${prefix}/${VANTOR_BINDIR}")
set(includedir "${VANTOR_INCLUDEDIR}")
set(plugindir "${VANTOR_PLUGINDIR}")
set(version "${VANTOR_VERSION}")

foreach(name vantor-bridge.service vantor-out.pc)
    configure_file("${VANTOR_TEMPLATES}/${name}.in" "${VANTOR_GENERATED}/${name}" @ONLY)
endforeach()
file(INSTALL "${VANTOR_GENERATED}/vantor-bridge.service" DESTINATION "${prefix}/lib/systemd/system")
file(INSTALL "${VANTOR_GENERATED}/vantor-out.pc" DESTINATION "${prefix}/${VANTOR_LIBDIR}/pkgconfig")
file(INSTALL "${VANTOR_TEMPLATES}/vantor-bridge.default" DESTINATION "${sysconfdir}/default"
    RENAME vantor-bridge)
