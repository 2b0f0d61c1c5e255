# Chooses the toolkit: Qt 5.15 unless EYEBLINK_QT_MAJOR (or the toolkit's own
# QT_DEFAULT_MAJOR_VERSION) says 6. Both provide the versionless targets (Qt::Core, ...), so the
# rest of the build never names the major version; EYEBLINK_QT_PACKAGE is the package's name.
if(DEFINED QT_DEFAULT_MAJOR_VERSION)
    set(_default_qt_major ${QT_DEFAULT_MAJOR_VERSION})
else()
    set(_default_qt_major 5)
endif()
set(EYEBLINK_QT_MAJOR ${_default_qt_major} CACHE STRING "Major version of Qt to build with (5 or 6)")
set_property(CACHE EYEBLINK_QT_MAJOR PROPERTY STRINGS 5 6)

if(EYEBLINK_QT_MAJOR STREQUAL 5)
    set(_minimum_qt_version 5.15)
elseif(EYEBLINK_QT_MAJOR STREQUAL 6)
    set(_minimum_qt_version 6.4)
else()
    message(FATAL_ERROR "EYEBLINK_QT_MAJOR is ${EYEBLINK_QT_MAJOR}; it must be 5 or 6")
endif()

set(EYEBLINK_QT_PACKAGE Qt${EYEBLINK_QT_MAJOR})
find_package(${EYEBLINK_QT_PACKAGE} ${_minimum_qt_version} REQUIRED
             COMPONENTS Core Gui Widgets Multimedia SerialPort Test)
message(STATUS "Building with Qt ${${EYEBLINK_QT_PACKAGE}_VERSION}")
