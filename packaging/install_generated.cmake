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

configure_file("${VANTOR_TEMPLATES}/vantor-bridge.service.in" "${VANTOR_GENERATED}/vantor-bridge.service" @ONLY)
configure_file("${VANTOR_TEMPLATES}/vantor-out.pc.in" "${VANTOR_GENERATED}/vantor-out.pc" @ONLY)
file(INSTALL "${VANTOR_GENERATED}/vantor-bridge.service" DESTINATION "${prefix}/lib/systemd/system")
file(INSTALL "${VANTOR_GENERATED}/vantor-out.pc" DESTINATION "${prefix}/${VANTOR_LIBDIR}/pkgconfig")
file(INSTALL "${VANTOR_TEMPLATES}/vantor-bridge.default" DESTINATION "${sysconfdir}/default"
    RENAME vantor-bridge)
