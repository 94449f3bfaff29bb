# Cross build for 32-bit ARM boards (Debian armhf) with Debian's multiarch packages:
# crossbuild-essential-armhf and the -dev:armhf libraries. Qt's host tools (moc,
# rcc, qmlcachegen, lrelease) are the machine's own. Programs that the build runs
# (the sound generator, the tests) run under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
set(PKG_CONFIG_EXECUTABLE arm-linux-gnueabihf-pkg-config CACHE FILEPATH "")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm-static)
