# Provides the imported target opencv::videoio (core, imgproc, imgcodecs and videoio).
# Uses OpenCV's own package configuration where it is installed; otherwise (Debian ships it
# only with the full development meta-package) finds the few modules the recorder needs.
find_package(OpenCV 4 QUIET COMPONENTS core imgproc imgcodecs videoio)
add_library(opencv::videoio INTERFACE IMPORTED)
if(OpenCV_FOUND)
    target_include_directories(opencv::videoio INTERFACE ${OpenCV_INCLUDE_DIRS})
    target_link_libraries(opencv::videoio INTERFACE ${OpenCV_LIBS})
else()
    find_path(OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
    set(_opencv_libraries)
    foreach(module core imgproc imgcodecs videoio)
        find_library(OPENCV_${module}_LIBRARY opencv_${module} REQUIRED)
        list(APPEND _opencv_libraries ${OPENCV_${module}_LIBRARY})
    endforeach()
    target_include_directories(opencv::videoio INTERFACE ${OPENCV_INCLUDE_DIR})
    target_link_libraries(opencv::videoio INTERFACE ${_opencv_libraries})
endif()
