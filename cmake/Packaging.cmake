# Installs the program with its desktop entry, icon and AppStream metainfo in the usual places,
# and makes a Debian package of it with CPack (cpack -G DEB in the build folder).
include(GNUInstallDirs)

install(TARGETS eyeblink-recorder RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET eyeblink-check)
    install(TARGETS eyeblink-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(_data ${PROJECT_SOURCE_DIR}/data)
configure_file(${_data}/desktop-entry.desktop.in data/${EYEBLINK_APP_ID}.desktop @ONLY)
configure_file(${_data}/metainfo.xml.in data/${EYEBLINK_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/data/${EYEBLINK_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/data/${EYEBLINK_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_data}/icon.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${EYEBLINK_APP_ID}.svg)

set(EYEBLINK_PACKAGE_MAINTAINER "eyeblink recorder maintainers <eyeblink-recorder@localhost>"
    CACHE STRING "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME eyeblink-recorder)
set(CPACK_PACKAGE_VENDOR "eyeblink recorder")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "camera recorder with the time of every frame, for eye-blink experiments")
set(CPACK_PACKAGE_CONTACT ${EYEBLINK_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Records a video of fixed length from a chosen camera and writes beside it a\n\
text file that gives every frame's index and its time in milliseconds, so that\n\
blinks can be aligned with stimuli afterwards.")
set(CPACK_STRIP_FILES ON)
# The libraries the program links come from dpkg-shlibdeps. What the camera list loads at run
# time it cannot see, so it is named here: Qt 5's multimedia backends, which come in a package of
# their own; for Qt 6's default backend on Linux, GStreamer's V4L2 device provider.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(EYEBLINK_QT_MAJOR STREQUAL 5)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt5multimedia5-plugins)
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS gstreamer1.0-plugins-good)
endif()
include(CPack)
