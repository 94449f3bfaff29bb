# Every dependency is checked up front so that a missing Debian package is named
# clearly instead of failing deep inside the compiler. scripts/install-deps
# installs all of them.

macro(quellan_require_qt component package)
    find_package(Qt5 5.15 QUIET COMPONENTS ${component})
    if(NOT Qt5${component}_FOUND)
        message(FATAL_ERROR
            "Qt5 ${component} not found: install the Debian package '${package}' "
            "(scripts/install-deps installs everything)")
    endif()
endmacro()

quellan_require_qt(Core qtbase5-dev)
quellan_require_qt(Gui qtbase5-dev)
quellan_require_qt(Network qtbase5-dev)
quellan_require_qt(Qml qtdeclarative5-dev)
quellan_require_qt(Quick qtdeclarative5-dev)
quellan_require_qt(QuickControls2 qtquickcontrols2-5-dev)
quellan_require_qt(QuickTest qtdeclarative5-dev)
quellan_require_qt(Test qtbase5-dev)
quellan_require_qt(Svg libqt5svg5-dev)
quellan_require_qt(QuickCompiler qtdeclarative5-dev)

if(NOT TARGET Qt5::GuiPrivate AND NOT EXISTS "${Qt5Gui_PRIVATE_INCLUDE_DIRS}")
    message(FATAL_ERROR "Qt5 private headers not found: install the Debian package 'qtbase5-private-dev'")
endif()

find_package(PkgConfig QUIET)
if(NOT PKG_CONFIG_FOUND)
    message(FATAL_ERROR "pkg-config not found: install the Debian package 'pkg-config'")
endif()

pkg_check_modules(MOSQUITTO QUIET IMPORTED_TARGET libmosquitto)
if(NOT MOSQUITTO_FOUND)
    message(FATAL_ERROR "libmosquitto not found: install the Debian package 'libmosquitto-dev'")
endif()

pkg_check_modules(QRCODEGEN QUIET IMPORTED_TARGET qrcodegencpp)
if(NOT QRCODEGEN_FOUND)
    message(FATAL_ERROR "qrcodegencpp not found: install the Debian package 'libqrcodegencpp-dev'")
endif()

find_program(LRELEASE_EXECUTABLE NAMES lrelease lrelease-qt5 PATHS /usr/lib/qt5/bin)
if(NOT LRELEASE_EXECUTABLE)
    message(FATAL_ERROR "lrelease not found: install the Debian package 'qttools5-dev-tools'")
endif()

set(QUELLAN_FONT_FILE /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf CACHE FILEPATH
    "DejaVu Sans, copied into the resource bundle")
if(NOT EXISTS ${QUELLAN_FONT_FILE})
    message(FATAL_ERROR "DejaVuSans.ttf not found: install the Debian package 'fonts-dejavu-core'")
endif()

# The bundle holds a subset of the font, made at build time by fontTools' subsetter
# (Debian's python3-fonttools, run with the system's Python).
find_program(QUELLAN_FONT_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(QUELLAN_FONT_PYTHON)
    execute_process(COMMAND ${QUELLAN_FONT_PYTHON} -c "import fontTools.subset"
        RESULT_VARIABLE QUELLAN_FONTTOOLS_MISSING OUTPUT_QUIET ERROR_QUIET)
endif()
if(NOT QUELLAN_FONT_PYTHON OR QUELLAN_FONTTOOLS_MISSING)
    message(FATAL_ERROR "fontTools not found: install the Debian package 'python3-fonttools'")
endif()

pkg_check_modules(FONTCONFIG QUIET IMPORTED_TARGET fontconfig)
if(NOT FONTCONFIG_FOUND)
    message(FATAL_ERROR "fontconfig not found: install the Debian package 'libfontconfig-dev'")
endif()
