# Cross-building for 32-bit (armhf) or 64-bit (arm64) ARM Linux with Debian's cross compiler,
# against a sysroot that holds the target's Qt 5 and Poppler (tools/make-sysroot.sh makes it):
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/CrossSysroot.cmake \
#         -DPAGE_SCOPE_CROSS_ARCH=armhf [-DPAGE_SCOPE_SYSROOT=DIR]
# tools/build-cross.sh does all of it. Tests run under qemu's user-mode emulation.

# try_compile() projects read this file again; hand them the same choices.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PAGE_SCOPE_CROSS_ARCH PAGE_SCOPE_SYSROOT)

if(NOT PAGE_SCOPE_CROSS_ARCH)
    message(FATAL_ERROR "Set PAGE_SCOPE_CROSS_ARCH to armhf or arm64")
endif()
if(PAGE_SCOPE_CROSS_ARCH STREQUAL "armhf")
    set(CMAKE_SYSTEM_PROCESSOR arm)
    set(PAGE_SCOPE_CROSS_TRIPLET arm-linux-gnueabihf)
elseif(PAGE_SCOPE_CROSS_ARCH STREQUAL "arm64")
    set(CMAKE_SYSTEM_PROCESSOR aarch64)
    set(PAGE_SCOPE_CROSS_TRIPLET aarch64-linux-gnu)
else()
    message(FATAL_ERROR "PAGE_SCOPE_CROSS_ARCH is '${PAGE_SCOPE_CROSS_ARCH}': armhf or arm64")
endif()
set(CMAKE_SYSTEM_NAME Linux)
if(PAGE_SCOPE_CROSS_ARCH STREQUAL "armhf")
    # GCC notes every std::vector<double> iterator passed by value that its ARM ABI changed in
    # GCC 7.1; everything here is built by one compiler, so the note says nothing.
    set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${PAGE_SCOPE_CROSS_ARCH})

# The default is where tools/make-sysroot.sh puts it.
if(NOT PAGE_SCOPE_SYSROOT)
    set(PAGE_SCOPE_SYSROOT /var/cache/page-scope-build/sysroot-bookworm-${PAGE_SCOPE_CROSS_ARCH})
endif()
set(PAGE_SCOPE_SYSROOT ${PAGE_SCOPE_SYSROOT} CACHE PATH "Sysroot of the target architecture")
if(NOT EXISTS ${PAGE_SCOPE_SYSROOT}/usr/include/${PAGE_SCOPE_CROSS_TRIPLET})
    message(FATAL_ERROR "${PAGE_SCOPE_SYSROOT} is not a ${PAGE_SCOPE_CROSS_ARCH} sysroot "
                        "(tools/make-sysroot.sh ${PAGE_SCOPE_CROSS_ARCH} makes one)")
endif()

set(CMAKE_C_COMPILER ${PAGE_SCOPE_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${PAGE_SCOPE_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${PAGE_SCOPE_CROSS_TRIPLET})
set(CMAKE_SYSROOT ${PAGE_SCOPE_SYSROOT})

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config (Poppler) must see only the sysroot's .pc files, and prefix their paths with it.
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${PAGE_SCOPE_SYSROOT})
set(ENV{PKG_CONFIG_LIBDIR}
    ${PAGE_SCOPE_SYSROOT}/usr/lib/${PAGE_SCOPE_CROSS_TRIPLET}/pkgconfig:${PAGE_SCOPE_SYSROOT}/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# moc, uic and rcc run on the build machine: take the host's tools, not the sysroot's.
set(PAGE_SCOPE_HOST_QT_BINDIR /usr/lib/qt5/bin CACHE PATH "Directory of the host's moc, uic and rcc")
set(CMAKE_PROJECT_page-scope_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/HostQtTools.cmake)

# Test programs and build-time generators run through qemu's user-mode emulator with the
# sysroot's loader and libraries, wrapped by tools/cross-emulator, which also keeps Qt's child
# processes working under qemu.
get_filename_component(PAGE_SCOPE_CROSS_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/cross-emulator
    ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PAGE_SCOPE_CROSS_EMULATOR} --sysroot ${PAGE_SCOPE_SYSROOT})
