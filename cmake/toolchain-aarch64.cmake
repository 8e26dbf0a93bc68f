# Cross-building for 64-bit ARM Linux with Debian's cross compiler and multiarch libraries:
#   apt-get install g++-aarch64-linux-gnu qtbase5-dev:arm64 libpoppler-qt5-dev:arm64
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64.cmake
# tools/build-arm64.sh does all of it. Tests run under qemu user-mode emulation.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(PAGE_SCOPE_CROSS_TRIPLET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${PAGE_SCOPE_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${PAGE_SCOPE_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${PAGE_SCOPE_CROSS_TRIPLET})

# Multiarch: the arm64 headers and libraries live in the host's /usr, in the aarch64
# subdirectories, and the cross compiler's own runtime under /usr/aarch64-linux-gnu.
set(CMAKE_FIND_ROOT_PATH / /usr/${PAGE_SCOPE_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config (Poppler) must see only the arm64 .pc files.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${PAGE_SCOPE_CROSS_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# moc, uic and rcc run on the build machine: take the host's tools, not the arm64 package's.
set(PAGE_SCOPE_HOST_QT_BINDIR /usr/lib/qt5/bin CACHE PATH "Directory of the host's moc, uic and rcc")
set(CMAKE_PROJECT_page-scope_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/HostQtTools.cmake)

# Test programs and build-time generators run through qemu's user-mode emulator, wrapped by
# tools/arm64-emulator, which keeps Qt's child processes working under qemu.
get_filename_component(PAGE_SCOPE_ARM64_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/arm64-emulator
    ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PAGE_SCOPE_ARM64_EMULATOR})
