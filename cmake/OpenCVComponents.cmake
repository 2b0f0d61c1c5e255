# Provides one imported target per OpenCV module the program uses: opencv::core,
# opencv::imgproc, opencv::imgcodecs and opencv::videoio, each bringing the modules it needs.
# Uses OpenCV's own package configuration where it is installed; otherwise (Debian ships it
# only with the full development meta-package) finds the modules' libraries directly.
set(_opencv_modules core imgproc imgcodecs videoio)
find_package(OpenCV 4 QUIET COMPONENTS ${_opencv_modules})
if(NOT OpenCV_FOUND)
    find_path(OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
endif()
set(_opencv_previous)
foreach(module ${_opencv_modules})
    add_library(opencv::${module} INTERFACE IMPORTED)
    if(OpenCV_FOUND)
        target_include_directories(opencv::${module} INTERFACE ${OpenCV_INCLUDE_DIRS})
        target_link_libraries(opencv::${module} INTERFACE opencv_${module})
    else()
        find_library(OPENCV_${module}_LIBRARY opencv_${module} REQUIRED)
        target_include_directories(opencv::${module} INTERFACE ${OPENCV_INCLUDE_DIR})
        target_link_libraries(opencv::${module} INTERFACE ${OPENCV_${module}_LIBRARY})
    endif()
    # Each module here needs the ones before it.
    target_link_libraries(opencv::${module} INTERFACE ${_opencv_previous})
    list(APPEND _opencv_previous opencv::${module})
endforeach()
