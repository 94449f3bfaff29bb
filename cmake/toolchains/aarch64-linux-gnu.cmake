# Cross build for 64-bit ARM boards (Debian arm64) with Debian's multiarch packages:
# crossbuild-essential-arm64 and the -dev:arm64 libraries. Qt's host tools (moc,
# rcc, qmlcachegen, lrelease) are the machine's own. Programs that the build runs
# (the sound generator, the tests) run under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(PKG_CONFIG_EXECUTABLE aarch64-linux-gnu-pkg-config CACHE FILEPATH "")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)
