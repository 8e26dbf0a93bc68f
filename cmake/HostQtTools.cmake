# Included right after project() when cross-building (see CrossSysroot.cmake).
# Qt 5's CMake packages create Qt5::moc, Qt5::uic and Qt5::rcc only when those targets do not
# exist yet, so defining them first makes every find_package(Qt5) use the host's tools.
foreach(tool moc uic rcc)
    if(NOT TARGET Qt5::${tool})
        if(NOT EXISTS ${PAGE_SCOPE_HOST_QT_BINDIR}/${tool})
            message(FATAL_ERROR "The host's ${tool} is missing from ${PAGE_SCOPE_HOST_QT_BINDIR} "
                                "(Debian package qtbase5-dev-tools)")
        endif()
        add_executable(Qt5::${tool} IMPORTED GLOBAL)
        set_target_properties(Qt5::${tool} PROPERTIES
            IMPORTED_LOCATION ${PAGE_SCOPE_HOST_QT_BINDIR}/${tool})
    endif()
endforeach()
