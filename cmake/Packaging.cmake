# Install layout and Debian packages.
#
# The viewer finds images/ and its profile b7s.conf relative to its working directory, so
# everything it reads at run time goes into one data directory that a device's launcher uses as
# the working directory:
#
#   <prefix>/bin/page-scope                       the viewer
#   <prefix>/share/page-scope/images/*.svg        the softkey icons
#   <prefix>/share/page-scope/profiles/           example device profiles
#   <prefix>/share/page-scope/sample/             the bundled quick guide
#   <prefix>/share/man/man1/page-scope.1.gz       the manual page
#   <prefix>/lib/<multiarch>/libSquishPlugin.so.1 the automation plugin (its own package)
#   <prefix>/libexec/page-scope/wait-for-devices  the service's wait for late device nodes
#   /lib/systemd/system/page-scope.service        the boot service, not enabled
#   /lib/systemd/system/page-scope-devices.service its wait, which it pulls in
#   /etc/default/page-scope                       its settings (a conffile)
#
# Components: "viewer" becomes the package page-scope, "automation" page-scope-automation.

include(GNUInstallDirs)

set(PAGE_SCOPE_DATADIR "${CMAKE_INSTALL_DATADIR}/page-scope")

# The plugin must land in a directory the dynamic loader searches by default. On Debian that is
# the multiarch directory, which GNUInstallDirs only picks when the prefix is /usr at configure
# time; packages are always built for /usr, so name the directory ourselves.
if(CMAKE_LIBRARY_ARCHITECTURE)
    set(PAGE_SCOPE_PLUGIN_LIBDIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}")
else()
    set(PAGE_SCOPE_PLUGIN_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
endif()

find_program(PAGE_SCOPE_GZIP gzip REQUIRED)

# Debian wants the manual page and the changelog compressed, without a time stamp in the gzip
# header so that two builds give the same package.
set(PAGE_SCOPE_PACKAGING_DIR "${CMAKE_BINARY_DIR}/packaging")
set(PAGE_SCOPE_MANPAGE_GZ "${PAGE_SCOPE_PACKAGING_DIR}/page-scope.1.gz")
set(PAGE_SCOPE_CHANGELOG_GZ "${PAGE_SCOPE_PACKAGING_DIR}/changelog.gz")
add_custom_command(
    OUTPUT "${PAGE_SCOPE_MANPAGE_GZ}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${PAGE_SCOPE_PACKAGING_DIR}"
    COMMAND sh -c "\"$1\" -9n -c \"$2\" > \"$3\"" sh
            "${PAGE_SCOPE_GZIP}" "${PROJECT_SOURCE_DIR}/man/page-scope.1" "${PAGE_SCOPE_MANPAGE_GZ}"
    DEPENDS "${PROJECT_SOURCE_DIR}/man/page-scope.1"
    COMMENT "Compressing the manual page"
    VERBATIM)
add_custom_command(
    OUTPUT "${PAGE_SCOPE_CHANGELOG_GZ}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${PAGE_SCOPE_PACKAGING_DIR}"
    COMMAND sh -c "\"$1\" -9n -c \"$2\" > \"$3\"" sh
            "${PAGE_SCOPE_GZIP}" "${PROJECT_SOURCE_DIR}/packaging/changelog"
            "${PAGE_SCOPE_CHANGELOG_GZ}"
    DEPENDS "${PROJECT_SOURCE_DIR}/packaging/changelog"
    COMMENT "Compressing the package changelog"
    VERBATIM)
add_custom_target(packaging-files ALL DEPENDS "${PAGE_SCOPE_MANPAGE_GZ}" "${PAGE_SCOPE_CHANGELOG_GZ}")

# The packages' version comes from project(); a changelog that was not brought along would
# ship a wrong history, so refuse to configure until both agree.
file(STRINGS "${PROJECT_SOURCE_DIR}/packaging/changelog" _page_scope_changelog_head LIMIT_COUNT 1)
if(NOT _page_scope_changelog_head MATCHES "^page-scope \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog starts with '${_page_scope_changelog_head}', "
                        "but the project version is ${PROJECT_VERSION}: add an entry for it")
endif()

# --- viewer ---
install(TARGETS page-scope RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT viewer)
install(FILES
        images/1270668950.svg
        images/cancel.svg
        images/ZoomIn.svg
        images/ZoomOut.svg
    DESTINATION "${PAGE_SCOPE_DATADIR}/images" COMPONENT viewer)
install(DIRECTORY profiles/ DESTINATION "${PAGE_SCOPE_DATADIR}/profiles" COMPONENT viewer)
if(TARGET sample-document)
    install(FILES "${CMAKE_BINARY_DIR}/sample/page-scope-guide.pdf"
        DESTINATION "${PAGE_SCOPE_DATADIR}/sample" COMPONENT viewer)
endif()
install(FILES "${PAGE_SCOPE_MANPAGE_GZ}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT viewer)
install(FILES packaging/copyright "${PAGE_SCOPE_CHANGELOG_GZ}"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/page-scope" COMPONENT viewer)
# The boot service and its settings sit where systemd and the administrator look for them,
# whatever the prefix. The package only ships the unit: a device image enables it. Both name the
# installed viewer, its wait script and its data directory, which follow the prefix given at
# install time (cmake --install --prefix), so they are filled in then.
install(CODE "
    set(PAGE_SCOPE_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    set(PAGE_SCOPE_LIBEXECDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBEXECDIR}/page-scope\")
    set(PAGE_SCOPE_DATADIR \"\${CMAKE_INSTALL_PREFIX}/${PAGE_SCOPE_DATADIR}\")
    foreach(file page-scope.service page-scope-devices.service page-scope.default)
        configure_file(\"${PROJECT_SOURCE_DIR}/packaging/systemd/\${file}.in\"
                       \"${PAGE_SCOPE_PACKAGING_DIR}/\${file}\" @ONLY)
    endforeach()" COMPONENT viewer)
install(FILES "${PAGE_SCOPE_PACKAGING_DIR}/page-scope.service"
    "${PAGE_SCOPE_PACKAGING_DIR}/page-scope-devices.service" DESTINATION /lib/systemd/system
    COMPONENT viewer)
install(FILES "${PAGE_SCOPE_PACKAGING_DIR}/page-scope.default" DESTINATION /etc/default
    RENAME page-scope COMPONENT viewer)
install(PROGRAMS packaging/systemd/wait-for-devices
    DESTINATION "${CMAKE_INSTALL_LIBEXECDIR}/page-scope" COMPONENT viewer)

# --- automation plugin ---
if(TARGET SquishPlugin)
    install(TARGETS SquishPlugin
        LIBRARY DESTINATION "${PAGE_SCOPE_PLUGIN_LIBDIR}" COMPONENT automation NAMELINK_SKIP)
    install(FILES packaging/copyright "${PAGE_SCOPE_CHANGELOG_GZ}"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/page-scope-automation" COMPONENT automation)
endif()

# --- Debian packages (cpack -G DEB) ---
set(PAGE_SCOPE_MAINTAINER "page-scope maintainers <page-scope@example.org>"
    CACHE STRING "Maintainer field of the Debian packages")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME page-scope)
set(CPACK_PACKAGE_VENDOR "page-scope")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The service's files have absolute destinations; without DESTDIR they would be written into
# the building machine's /etc and /lib instead of the package.
# With DESTDIR, CPack installs under CPACK_INSTALL_PREFIX rather than the packaging prefix.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL viewer automation)
set(CPACK_DEB_COMPONENT_INSTALL ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PAGE_SCOPE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps needs to know which package ships libSquishPlugin.so.1 when it is asked
# about it; a shlibs file also lets other packages depend on it properly.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")
# When cross-building, dpkg would otherwise stamp the build machine's architecture.
if(CMAKE_CROSSCOMPILING AND NOT CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
    if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
        set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
    elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^arm")
        set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE armhf)
    else()
        message(WARNING "Set CPACK_DEBIAN_PACKAGE_ARCHITECTURE for ${CMAKE_SYSTEM_PROCESSOR}")
    endif()
endif()

set(CPACK_DEBIAN_VIEWER_PACKAGE_NAME page-scope)
# The icons are SVG files loaded through QIcon, which needs Qt's SVG plugins at run time, and
# the softkey arrows are drawn in "DejaVu Sans": neither shows up in the linked libraries.
set(CPACK_DEBIAN_VIEWER_PACKAGE_DEPENDS "libqt5svg5, fonts-dejavu-core")
# The service's settings are the administrator's: an upgrade must not overwrite them.
set(CPACK_DEBIAN_VIEWER_PACKAGE_CONTROL_EXTRA "${PROJECT_SOURCE_DIR}/packaging/systemd/conffiles")
set(CPACK_COMPONENT_VIEWER_DISPLAY_NAME "page-scope")
set(CPACK_COMPONENT_VIEWER_DESCRIPTION
    "PDF viewer for small embedded touch-screen devices
page-scope shows PDF documents on the fixed display of an embedded device,
one page at a time, with on-screen softkeys laid out to match the hardware
softkeys around the screen. Pages are scrolled, turned and zoomed by touch or
by hardware keys whose codes come from a device profile.
.
The launcher starts it from /usr/share/page-scope, which holds its icons,
example device profiles and a sample document.")

set(CPACK_DEBIAN_AUTOMATION_PACKAGE_NAME page-scope-automation)
set(CPACK_DEBIAN_AUTOMATION_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_AUTOMATION_PACKAGE_DEPENDS "page-scope (= ${PROJECT_VERSION})")
# A library in the loader's directories must refresh the loader cache through libc's trigger.
set(CPACK_DEBIAN_AUTOMATION_PACKAGE_CONTROL_EXTRA "${PROJECT_SOURCE_DIR}/packaging/automation/triggers")
set(CPACK_COMPONENT_AUTOMATION_DISPLAY_NAME "page-scope-automation")
set(CPACK_COMPONENT_AUTOMATION_DESCRIPTION
    "GUI automation plugin for the page-scope PDF viewer
When this package is installed, page-scope loads the plugin at start-up and
accepts connections from a GUI automation tool on TCP port 5014, through which
the tool inspects the viewer's widgets and sends it input.
.
This is meant for test set-ups; production images leave the package out.")

include(CPack)

# Builds the packages of this tree, unpacks them into a scratch root and runs the installed
# viewer there under Xvfb. Host builds only: the packages of a cross build do not run here.
if(BUILD_TESTING AND NOT CMAKE_CROSSCOMPILING)
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    add_test(NAME package_install
        COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/package/check_installed_package.py
                --cpack ${CMAKE_CPACK_COMMAND}
                --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
                --version ${PROJECT_VERSION})
    # The plugin check starts the real plugin, which takes the fixed automation port.
    set_tests_properties(package_install PROPERTIES
        LABELS package
        TIMEOUT 240
        RESOURCE_LOCK automation-port)

    # The boot service, staged from this tree's install rules, and the viewer on linuxfb in its
    # environment, on a framebuffer preloaded into it.
    add_library(fake-framebuffer MODULE ${PROJECT_SOURCE_DIR}/tests/package/fakeframebuffer.cpp)
    target_link_libraries(fake-framebuffer PRIVATE ${CMAKE_DL_LIBS})
    set_target_properties(fake-framebuffer PROPERTIES AUTOMOC OFF)
    add_test(NAME tst_bootservice
        COMMAND bash ${PROJECT_SOURCE_DIR}/tests/package/tst_bootservice.sh ${CMAKE_BINARY_DIR}
                $<TARGET_FILE:fake-framebuffer>)
    set_tests_properties(tst_bootservice PROPERTIES LABELS package TIMEOUT 60)
endif()

# A virtual machine booted straight into the viewer by that service, under systemd, on the
# kernel's framebuffer, keyboard and a touch panel: a PC for a host build, ARM's virt board for
# an armhf build, whose machine then runs the ARM viewer on an ARM kernel.
if(BUILD_TESTING AND (NOT CMAKE_CROSSCOMPILING OR CPACK_DEBIAN_PACKAGE_ARCHITECTURE STREQUAL armhf))
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    add_executable(bootvm-touch-panel ${PROJECT_SOURCE_DIR}/tests/package/bootvm-touch-panel.cpp)
    # Static for a machine without a C++ runtime, so without a sanitizer's runtime either.
    set_target_properties(bootvm-touch-panel PROPERTIES
        AUTOMOC OFF COMPILE_OPTIONS "-Wall;-Wextra" LINK_OPTIONS -static)
    set(_page_scope_bootvm_board)
    set(_page_scope_bootvm_label package)
    if(CMAKE_CROSSCOMPILING)
        string(REPLACE ";" " " _page_scope_emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
        set(_page_scope_bootvm_board --arch armhf --emulator "${_page_scope_emulator}")
        # The cross suite's label for it: the host's package tests are not run there.
        set(_page_scope_bootvm_label bootvm)
    endif()
    add_test(NAME tst_bootvm
        COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/package/tst_bootvm.py
                --build ${CMAKE_BINARY_DIR} --source ${PROJECT_SOURCE_DIR}
                --test-documents $<TARGET_FILE:make-test-documents>
                --touch-panel $<TARGET_FILE:bootvm-touch-panel> ${_page_scope_bootvm_board})
    set_tests_properties(tst_bootvm PROPERTIES
        LABELS ${_page_scope_bootvm_label} TIMEOUT 900 SKIP_RETURN_CODE 77)
endif()
